#!/usr/bin/env python3
# Runs the tool with its standard streams on a pseudo-terminal, under several locales,
# and checks what the screen shows; a stream led into a file must keep the exact
# Shift_JIS bytes of a plain run.
#
#     terminal_test.py TOOL EXAMPLES_DIR [wine]
#
# With "wine", TOOL is wavpair.exe: wine gives it a console on the terminal and shows
# its UTF-16 text in the locale's encoding, drawing blanks and the cursor with escape
# sequences, so screens are compared without those and without white space.
import os, pty, re, shutil, subprocess, sys, tempfile, termios, threading, time
from screen import screen_run, slowed

tool, examples = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
wine = "wine" in sys.argv[3:]
FMT_LENGTH = ' "fmt "の長さ: 16 [bytes]\n'
FMT = """             データ形式: 1 (1 = PCM)
           チャンネル数: 2
     サンプリング周波数: 22050 [Hz]
          バイト数 / 秒: 88200 [bytes/sec]
 バイト数×チャンネル数: 4 [bytes]
    ビット数 / サンプル: 16 [bits/sample]
"""
# The usage text as a file gets it (checked against the message table by the runs'
# test), for the terminal's own form of it.
USAGE = subprocess.run((["wine", tool] if wine else [tool]) + ["--help"], capture_output=True,
                       env=dict(os.environ, WINEDEBUG="-all")).stdout
USAGE = USAGE.decode("cp932").replace("\r\n", "\n")


# The examples' whole report in the order it happens, as (stream, text) pieces.
def report(a, b, o):
    return [(1, f"\nファイル名[{a}]\n"), (2, FMT_LENGTH), (1, FMT),
            (1, ' "LIST"の長さ: 26 [bytes]\n'), (2, '\n "data" の長さ: 176400 [bytes]\n'),
            (1, "\n 時間=2.000\n"), (1, f"\nファイル名[{b}]\n"), (2, FMT_LENGTH), (1, FMT),
            (2, '\n "data" の長さ: 110248 [bytes]\n'), (1, "\n 時間=1.250\n"),
            (1, f"\n[{a}] と [{b}] を [{o}] へ合成しました.\n")]


# The same, as a screen that cannot show Japanese gets it: in English, printable ASCII.
FMT_EN = "".join(f"{k:>23}: {v}\n" for k, v in (
    ("Data format", "1 (1 = PCM)"), ("Channels", 2), ("Sample rate", "22050 [Hz]"),
    ("Bytes / sec", "88200 [bytes/sec]"), ("Bytes x channels", "4 [bytes]"),
    ("Bits / sample", "16 [bits/sample]")))


def scan_en(name, data=176400, time="2.000", chunk=' Length of "LIST": 26 [bytes]\n'):
    return (f'\nFile name [{name}]\n Length of "fmt ": 16 [bytes]\n{FMT_EN}{chunk}\n'
            f' Length of "data": {data} [bytes]\n\n Time={time}\n')


def text(pieces, streams=(1, 2)):
    return "".join(t for s, t in pieces if s in streams)


# A screen as a run leaves it, with its exit status as one last byte.
def ended(t, status=0, codec="utf-8"):
    return t.encode(codec) + bytes([status])


# The screen (and its exit status as one last byte) and the file the redirected
# streams (1, 2 or both) went into.
def run(args, lang, redirect=(), stopped=False, columns=80, raw=False, slow=0):
    env = {k: v for k, v in os.environ.items() if not k.startswith("LC_")}

    def into():
        termios.tcsetwinsize(0, (24, columns))
        if stopped:  # a terminal that takes no more, its writes not waited for
            os.set_blocking(1, False)
            termios.tcflow(1, termios.TCOOFF)
        fd = os.open("../redirected", os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
        for r in redirect:
            os.dup2(fd, r)
    cmd = (["wine", tool] if wine else [tool]) + args
    screen, status = screen_run(cmd, dict(env, LANG=lang, LC_NUMERIC=lang), into, raw, slow)
    kept = open("../redirected", "rb").read() if os.path.exists("../redirected") else b""
    os.path.exists("../redirected") and os.remove("../redirected")
    return screen + bytes([status]), kept


# A WAV file of n bytes of 16-bit stereo silence at 22050 Hz, sparse on disk.
def silence(path, n):
    fmt = bytes.fromhex("1000000001000200225600008858010004001000")
    with open(path, "wb") as f:
        f.write(b"RIFF" + (n + 36).to_bytes(4, "little") + b"WAVEfmt " + fmt + b"data"
                + n.to_bytes(4, "little"))
        f.truncate(44 + n)


failures, checks = [], 0


def check(name, got, want):
    global checks
    checks += 1
    if wine and isinstance(got, bytes):  # without escape sequences and white space
        got, want = (re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07|\s", b"", x)
                     for x in (got, want))
    if got != want:
        failures.append(name)
        print(f"FAILED {name}\n  got:  {got!r}\n  want: {want!r}")


work = tempfile.mkdtemp(prefix="wavpair-terminal-")
os.makedirs(f"{work}/w")
os.chdir(f"{work}/w")
names = ("long.wav", "short.wav", "out.wav")
# Names as a UTF-8 shell passes them, with characters that Shift_JIS could not carry.
utf8names = ("長い.wav", "음악.wav", "Grüße.wav")
for i in (0, 1):
    shutil.copy(f"{examples}/{names[i]}", names[i])
    shutil.copy(f"{examples}/{names[i]}", utf8names[i])
whole = report(*names)
have = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.lower().split()

if sys.argv[-1] == "progress":
    # A run long enough for the progress line (1 GiB of silence, sparse, into a real
    # file, the tool held stopped three quarters of the time, nine tenths under wine, whose
    # audio phase is the briefer): on a screen it appears, at most 40 columns and
    # never wider than the screen, numbers only, at most four times a second, and once
    # erased (carriage returns applied) the screen is the report as a run without it
    # shows; English where the report is; a file or a pipe never gets it.
    n, held = 1 << 30, 0.9 if wine else 0.75
    silence("qq.wav", n)  # a name none of the line's characters is in
    args = ["qq.wav", "short.wav", "out.wav"]
    _, plain = run(args, "C.UTF-8", redirect=(1, 2))  # both streams into one file
    plain_text = plain.decode("cp932").replace("\r\n", "\n")
    cmd = ["wine", tool] if wine else [tool]

    # The screen once drawn, and each progress line drawn on it. Of wine's escapes, only
    # the one that clears the rest of the line (drawn for blanks) counts.
    def drawn(screen, codec):
        lines, draws = [], []
        text = re.sub(r"\x1b\[(?!K)[0-9;?]*[A-Za-z]", "", screen.decode(codec))
        for line in re.sub(r"\r+\n", "\n", text).split("\n"):
            cells = []
            for k, part in enumerate(line.split("\r")):
                cleared = part.split("\x1b[K")
                cells[:len(cleared[0])] = cleared[0]
                if len(cleared) > 1:
                    del cells[len(cleared[0]):]
                if k and cleared[0].strip():
                    draws.append(cleared[0].rstrip())
            lines.append("".join(cells).rstrip())
        return "\n".join(lines), draws
    # At 38 columns the whole line (38 to 40 of them) never fits: it is measured as shown.
    for lang, columns, words in (("C.UTF-8", 80, "残り"), ("C.UTF-8", 38, ""), ("C.UTF-8", 20, ""),
                                 *[("xx_XX.ISO-8859-1", 80, " left"), ("ja_JP.EUC-JP", 80, "残り")]
                                 * (not wine)):
        began = time.time()
        screen, _ = run(args, lang, columns=columns, raw=True, slow=held)
        took = time.time() - began
        if lang.startswith("ja") and "ja_jp.eucjp" not in have:
            continue
        shown, draws = drawn(screen[:-1], "euc_jp" if "EUC" in lang else "utf-8")
        width = lambda t: sum(2 if ord(c) >= 0x3000 else 1 for c in t)
        check(f"progress on a {columns}-column {lang} screen: drawn, in its words and columns, "
              "numbers only, at most four times a second",
              (bool(draws), all(words in d and width(d) <= min(40, columns - 1) and "q" not in d
                                for d in draws), len(draws) <= 4 * took + 1), (True, True, True))
        if lang == "C.UTF-8" and columns == 80:
            check("progress erased: the screen as without it", shown.encode(), plain_text.encode())
    _, kept = run(args, "C.UTF-8", redirect=(2,), slow=held)
    piped = subprocess.Popen([*cmd, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    done = threading.Event()
    threading.Thread(target=slowed, args=(piped.pid, done, held), daemon=True).start()
    piped_err = piped.communicate()[1]
    done.set()
    err = (FMT_LENGTH + f'\n "data" の長さ: {n} [bytes]\n' + FMT_LENGTH
           + '\n "data" の長さ: 110248 [bytes]\n').encode("cp932")
    err = err.replace(b"\n", b"\r\n") if wine else err
    check("progress never in a file or a pipe: standard error as ever", (kept, piped_err),
          (err, err))
    shutil.rmtree(work)
    print(f"{checks - len(failures)} passed, {len(failures)} failed")
    sys.exit(1 if failures else 0)

english = (scan_en("long.wav") + scan_en("short.wav", 110248, "1.250", "")
           + "\nCombined [long.wav] and [short.wav] into [out.wav].\n")
# The whole report on screens of each kind: UTF-8, no locale, a UTF-8 locale this system
# lacks, a made-up ISO-2022-JP one (converted, every text ending back in ASCII), and
# encodings that keep ASCII but lack some of the Japanese (EUC-KR the long vowel mark and
# some kanji, BIG5 the kana), which get English. A console always takes UTF-16; wine
# shows it in the locale it has, so only the first two are tried there.
screens = [
    ("UTF-8 terminal: the report in UTF-8", names, "C.UTF-8", ended(text(whole))),
    ("UTF-8 terminal: names as typed", utf8names, "C.UTF-8", ended(text(report(*utf8names)))),
    ("no locale: the report in UTF-8", names, "", ended(text(whole))),
    ("a UTF-8 locale this system lacks", names, "xx_XX.UTF-8", ended(text(whole))),
    ("ISO-2022-JP terminal", names, "xx_XX.ISO-2022-JP",
     b"".join(t.encode("iso2022_jp") for _, t in whole) + b"\0"),
    *[(f"{c} terminal: the report in English", names, "xx_XX." + c, ended(english))
      for c in ("ISO-8859-1", "KOI8-R", "EUC-KR", "BIG5")]]
for name, args, lang, want in screens[:2] if wine else screens:
    check(name, run(list(args), lang)[0], want)
scanned = text(report("long.wav", "", "")[:6])  # the first input's report
# A name that would set the window's title and clear the screen shows its controls as "?"
# (Windows holds no such name, so it is one that cannot be opened.)
check("a name's control characters as ?",
      run(["long.wav", "x\x1b]0;pwned\x07\x1b[2J.wav", "out.wav"], "C.UTF-8")[0],
      ended(scanned + " x?]0;pwned??[2J.wavをオープンできません.\n", 255))
if not wine:
    check("the controlling terminal as output",
          run(["long.wav", "short.wav", "/dev/tty"], "C.UTF-8")[0],
          ended("出力ファイル[/dev/tty]が標準出力と同じです.\n", 255))
# The terminal as the output while both streams go elsewhere: refused before a byte
# of the header (twelve of them an input's own) reaches the screen.
tty = "CONOUT$" if wine else "/dev/tty"
screen, kept = run(["long.wav", "short.wav", tty], "C.UTF-8", redirect=(1, 2))
check("the terminal as output, both streams elsewhere: the screen", screen, b"\xff")
check("the terminal as output, both streams elsewhere: the message",
      f"ヘッダを書き込めません: {tty}\n".encode("cp932") in kept.replace(b"\r\n", b"\n"), True)
# The terminal as the output while only standard output goes elsewhere: that terminal is
# standard error's, and said so there.
screen, kept = run(["long.wav", "short.wav", tty], "C.UTF-8", redirect=(1,))
check("the terminal as output, standard error on it", screen,
      ended(text(whole, (2,)) + f"出力ファイル[{tty}]が標準エラー出力と同じです.\n", 255))
# Marks that reorder text show as '?' like the controls: no name reads as another.
bidi = "a\u202egnp\u2066\u2069\u200f\u061c.wav"
check("a name's bidirectional marks as ?", run(["long.wav", bidi, "out.wav"], "C.UTF-8")[0],
      ended(scanned + " a?gnp????.wavをオープンできません.\n", 255))
if not wine:
    # Where the locale says nothing of the names' encoding, a screen gets printable
    # ASCII only: no C1 control (raw, or in UTF-8) reaches it, nor any other byte. So
    # does a terminal given English, where the whole screen stays printable ASCII.
    for lang, name, shown in (("C", b"x\x9b2J\xc2\x9b2Jy\xff.wav", "x?2J??2Jy?.wav"),
                              ("C", "長い".encode(), "??????"),
                              ("zh_TW.BIG5", b"x\xab\xbc\xa7\xb0\xb9\xe0.wav", "x??????.wav"),
                              ("xx_XX.ISO-8859-1", b"x\xa7\xb0\xd7.wav", "x???.wav"),
                              ("xx_XX.KOI8-R", b"x\xe9\x9b.wav", "x??.wav")):
        refused = (scanned + f" {shown}をオープンできません.\n" if lang == "C"
                   else scan_en("long.wav") + f" Cannot open {shown}.\n")
        check(f"{lang} locale: {shown}", run([b"long.wav", name, b"out.wav"], lang)[0],
              ended(refused, 255))
    # A Shift_JIS locale reads names as code page 932: Japanese as typed, a control
    # or a byte that is no character as '?'.
    sjis_name = "長い".encode("cp932") + b"\x1b\x81.wav"
    shutil.copy("long.wav", sjis_name)
    check("Shift_JIS locale: a name",
          run([sjis_name, b"short.wav", b"out.wav"], "xx_XX.SHIFT_JIS")[0],
          ended(text(report("長い??.wav", "short.wav", "out.wav")), 0, "cp932"))
if not wine:
    # The report's lines a terminal did not take make the run a failure, though nothing
    # is left to flush at the end.
    screen, kept = run(list(names), "C.UTF-8", redirect=(2,), stopped=True)
    check("a terminal that fails a write", (screen[-1], kept[-26:]),
          (255, "標準出力に書き込めません.\n".encode("cp932")))
# --help: the usage text, then the English summary; on a screen of English that alone.
check("--help on the terminal", run(["--help"], "C.UTF-8")[0], ended(USAGE))
if not wine:
    check("--help on a Latin-1 terminal", run(["--help"], "xx_XX.ISO-8859-1")[0],
          ended(USAGE[USAGE.find("\nUsage: wavpair IN1.wav IN2.wav OUT.wav\n") + 1:]))
terminal = "CONOUT$" if wine else "/dev/stdout"
check("output is the terminal", run(["long.wav", "short.wav", terminal], "C.UTF-8")[0],
      ended(f"出力ファイル[{terminal}]が標準出力と同じです.\n", 255))
for lang, codec, name in (("ja_JP.EUC-JP", "euc_jp", "EUC-JP terminal: the report in EUC-JP"),
                          ("de_DE.UTF-8", "utf-8", "decimal-comma locale keeps the point")):
    if lang.lower().replace("-", "") in have:
        check(name, run(list(names), lang)[0], ended(text(whole), 0, codec))
        if codec == "euc_jp" and not wine:
            shown = ("長い.wav", "Grüße.wav", "out.wav")
            named = [n.encode(codec) for n in shown]
            for i in (0, 1):
                shutil.copy(f"{examples}/{names[i]}", named[i])
            check("EUC-JP terminal: names", run(named, lang)[0],
                  ended(text(report(*shown)), 0, codec))
    else:
        print(f"skipped: no {lang} locale (localedef makes it)")
for fd, other in ((2, 1), (1, 2)):
    screen, kept = run(list(names), "C.UTF-8", redirect=(fd,))
    check(f"stream {fd} into a file: the screen", screen, ended(text(whole, (other,))))
    plain = text(whole, (fd,)).encode("cp932")
    check(f"stream {fd} into a file: its bytes", kept,
          plain.replace(b"\n", b"\r\n") if wine else plain)

if wine:
    # Ctrl-C on the console while the new output is written: the failure status, the old
    # output as it was, and no file left beside it (the new one goes with its handle).
    silence("big.wav", 256 << 20)
    open("out.wav", "wb").write(b"PRECIOUS\n")
    before = sorted(os.listdir("."))
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp("wine", ["wine", tool, "big.wav", "big.wav", "out.wav"])
    for _ in range(4000):
        if any(n.endswith(".part") for n in os.listdir(".")):
            break
        time.sleep(0.005)
    os.write(fd, b"\x03")
    try:
        while os.read(fd, 65536):
            pass
    except OSError:
        pass
    status = os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
    check("Ctrl-C while the output is written",
          (status, open("out.wav", "rb").read(), sorted(os.listdir("."))),
          (255, b"PRECIOUS\n", before))
shutil.rmtree(work)
print(f"{checks - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
