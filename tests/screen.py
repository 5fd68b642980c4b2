# Runs a program on a new pseudo-terminal and reads its screen, for the tests that
# check what a terminal shows.
import os, pty, signal, threading, time


# Holds pid stopped that share of the time until it ends: at three quarters a run of a
# second takes four, on a machine of any speed.
def slowed(pid, done, stopped):
    while not done.is_set():  # in turns of 80 ms
        for sig, share in ((signal.SIGSTOP, stopped), (signal.SIGCONT, 1 - stopped)):
            try:
                os.kill(pid, sig)
            except OSError:
                return
            time.sleep(0.08 * share)


def screen_run(argv, env, before=None, raw=False, slow=0):
    """The screen (carriage returns dropped unless raw) and the exit status of argv
    (0..255; 128 plus the signal's number, as shells say it, for one that ended it),
    started on a pseudo-terminal of its own, held stopped the share slow of the time;
    before() runs first in the child."""
    pid, fd = pty.fork()
    if pid == 0:
        try:
            if before:
                before()
            os.execvpe(argv[0], argv, env)
        finally:
            os._exit(127)
    done = threading.Event()
    slow and threading.Thread(target=slowed, args=(pid, done, slow), daemon=True).start()
    screen = b""
    try:
        while chunk := os.read(fd, 65536):
            screen += chunk
    except OSError:  # the terminal's other end has closed
        pass
    status = os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
    done.set()
    status = 128 - status if status < 0 else status
    os.close(fd)
    return (screen if raw else screen.replace(b"\r", b"")), status
