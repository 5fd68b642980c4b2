#!/usr/bin/env python3
"""Runs the tool with its standard streams on a pseudo-terminal, under several
locales, and checks what the screen shows; a stream led into a file must keep the
exact Shift_JIS bytes of a plain run.

    terminal_test.py TOOL EXAMPLES_DIR [wine]

With "wine", TOOL is wavpair.exe: wine gives it a console on the terminal and shows
its UTF-16 text in the locale's encoding, drawing blanks and the cursor with escape
sequences, so screens are compared without those and without white space.
"""
import os, pty, re, shutil, subprocess, sys, tempfile

tool, examples = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
wine = sys.argv[3:] == ["wine"]

FMT_LENGTH = ' "fmt "の長さ: 16 [bytes]\n'
FMT = """             データ形式: 1 (1 = PCM)
           チャンネル数: 2
     サンプリング周波数: 22050 [Hz]
          バイト数 / 秒: 88200 [bytes/sec]
 バイト数×チャンネル数: 4 [bytes]
    ビット数 / サンプル: 16 [bits/sample]
"""
# The examples' whole report in the order it happens: (stream, text) pieces.
def report(a, b, o):
    return [(1, f"\nファイル名[{a}]\n"), (2, FMT_LENGTH), (1, FMT),
            (1, ' "LIST"の長さ: 26 [bytes]\n'), (2, '\n "data" の長さ: 176400 [bytes]\n'),
            (1, "\n 時間=2.000\n"), (1, f"\nファイル名[{b}]\n"), (2, FMT_LENGTH), (1, FMT),
            (2, '\n "data" の長さ: 110248 [bytes]\n'), (1, "\n 時間=1.250\n"),
            (1, f"\n[{a}] と [{b}] を [{o}] へ合成しました.\n")]

def text(pieces, streams):
    return "".join(t for s, t in pieces if s in streams)

def run(args, lang, redirect=None):
    """The screen, the redirected stream's file and the exit status of one run."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("LC_")}
    env.update(LANG=lang, LC_NUMERIC=lang)
    pid, fd = pty.fork()
    if pid == 0:
        if redirect:
            out = os.open("../redirected", os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
            os.dup2(out, redirect)
        cmd = (["wine", tool] if wine else [tool]) + args
        os.execvpe(cmd[0], cmd, env)
    screen = b""
    while True:
        try:
            chunk = os.read(fd, 65536)
        except OSError:
            break
        if not chunk:
            break
        screen += chunk
    status = os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
    os.close(fd)
    kept = b""
    if redirect:
        with open("../redirected", "rb") as f:
            kept = f.read()
    return screen.replace(b"\r", b""), kept, status

def bare(b):
    """A wine screen without its escape sequences and white space."""
    b = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07", b"", b)
    return re.sub(rb"\s", b"", b)

def locale_there(name):
    have = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    return name.lower().replace("-", "") in (h.lower().replace("-", "") for h in have)

failures, checks = [], 0
def check(name, got, want):
    global checks
    checks += 1
    if wine:
        got, want = bare(got), bare(want)
    if got != want:
        failures.append(name)
        print(f"FAILED {name}\n  got:  {got!r}\n  want: {want!r}")

work = tempfile.mkdtemp(prefix="wavpair-terminal-")
os.makedirs(f"{work}/w")
os.chdir(f"{work}/w")
names = ("long.wav", "short.wav", "out.wav")
for n in names[:2]:
    shutil.copy(f"{examples}/{n}", n)
# Japanese names as a UTF-8 shell passes them; on wine also characters that the
# Shift_JIS bytes could not carry.
utf8names = ("長い.wav", "음악.wav", "Grüße.wav")
for n, src in zip(utf8names, names[:2]):
    shutil.copy(f"{examples}/{src}", n)
whole = report(*names)
usage = ("二つのWAVファイルからひとつのWAVファイルを作成します.\n\n引数に <入力ファイル名１> "
         "<入力ファイル名２> <出力ファイル名>を\n指定してください.\n\n例 : wavpair  foo.wav  bar.wav out.wav\n")

screen, _, status = run(list(names), "C.UTF-8")
check("UTF-8 terminal: the report in UTF-8", screen + bytes([status]),
      text(whole, (1, 2)).encode() + b"\0")
screen, _, _ = run(list(utf8names), "C.UTF-8")
check("UTF-8 terminal: UTF-8 names as typed", screen, text(report(*utf8names), (1, 2)).encode())
if not wine:  # a console always takes UTF-16, whatever the locale
    screen, _, _ = run(list(names), "C")
    check("C locale: the Shift_JIS bytes", screen, text(whole, (1, 2)).encode("cp932"))
screen, _, status = run(["--help"], "C.UTF-8")
check("--help on the terminal", screen + bytes([status]), usage.encode() + b"\0")
screen, _, status = run(["long.wav", "short.wav", "/dev/stdout" if not wine else "CONOUT$"], "C.UTF-8")
refusal = f"出力ファイル[{'/dev/stdout' if not wine else 'CONOUT$'}]が標準出力と同じです.\n"
check("output is the terminal", screen + bytes([status]),
      (text(whole[:-1], (1, 2)) + refusal).encode() + b"\xff")
if locale_there("ja_JP.eucjp"):
    screen, _, _ = run(list(names), "ja_JP.EUC-JP")
    check("EUC-JP terminal: the report in EUC-JP", screen, text(whole, (1, 2)).encode("euc_jp"))
else:
    print("skipped: no ja_JP.EUC-JP locale (localedef -i ja_JP -f EUC-JP ja_JP.EUC-JP)")
if locale_there("de_DE.utf8"):
    screen, _, _ = run(list(names), "de_DE.UTF-8")
    check("decimal-comma locale keeps the point", screen, text(whole, (1, 2)).encode())
else:
    print("skipped: no de_DE.UTF-8 locale (localedef -i de_DE -f UTF-8 de_DE.UTF-8)")
for fd, name in ((2, "standard error into a file"), (1, "standard output into a file")):
    screen, kept, _ = run(list(names), "C.UTF-8", redirect=fd)
    on_screen = 1 if fd == 2 else 2
    check(name + ": the screen", screen, text(whole, (on_screen,)).encode())
    plain = text(whole, (fd,)).encode("cp932")
    check(name + ": the file's bytes", kept, plain.replace(b"\n", b"\r\n") if wine else plain)

shutil.rmtree(work)
print(f"{checks - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
