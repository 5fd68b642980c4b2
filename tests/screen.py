# Runs a program on a new pseudo-terminal and reads its screen, for the tests that
# check what a terminal shows.
import os, pty


def screen_run(argv, env, before=None):
    """The screen (carriage returns dropped) and the exit status of argv (0..255; 128
    plus the signal's number, as shells say it, for one that ended it), started on a
    pseudo-terminal of its own; before() runs first in the child."""
    pid, fd = pty.fork()
    if pid == 0:
        try:
            if before:
                before()
            os.execvpe(argv[0], argv, env)
        finally:
            os._exit(127)
    screen = b""
    try:
        while chunk := os.read(fd, 65536):
            screen += chunk
    except OSError:  # the terminal's other end has closed
        pass
    status = os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
    status = 128 - status if status < 0 else status
    os.close(fd)
    return screen.replace(b"\r", b""), status
