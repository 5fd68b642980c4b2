# Runs a program on a new pseudo-terminal and reads its screen, for the tests that
# check what a terminal shows.
import os, pty


def screen_run(argv, env, before=None):
    """The screen (carriage returns dropped) and the exit status (0..255) of argv,
    started on a pseudo-terminal of its own; before() runs first in the child."""
    pid, fd = pty.fork()
    if pid == 0:
        if before:
            before()
        os.execvpe(argv[0], argv, env)
    screen = b""
    try:
        while chunk := os.read(fd, 65536):
            screen += chunk
    except OSError:  # the terminal's other end has closed
        pass
    status = os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]) & 0xFF
    os.close(fd)
    return screen.replace(b"\r", b""), status
