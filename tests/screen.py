# Runs a program on a new pseudo-terminal and reads its screen, for the tests that
# check what a terminal shows.
import os, pty, signal, threading, time


# Holds pid stopped three quarters of the time until it ends: a run of a second takes four,
# on a machine of any speed.
def slowed(pid, done):
    while not done.is_set():
        for sig, pause in ((signal.SIGSTOP, 0.06), (signal.SIGCONT, 0.02)):
            try:
                os.kill(pid, sig)
            except OSError:
                return
            time.sleep(pause)


def screen_run(argv, env, before=None, raw=False, slow=False):
    """The screen (carriage returns dropped unless raw) and the exit status of argv
    (0..255; 128 plus the signal's number, as shells say it, for one that ended it),
    started on a pseudo-terminal of its own; before() runs first in the child."""
    pid, fd = pty.fork()
    if pid == 0:
        try:
            if before:
                before()
            os.execvpe(argv[0], argv, env)
        finally:
            os._exit(127)
    done = threading.Event()
    slow and threading.Thread(target=slowed, args=(pid, done), daemon=True).start()
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
