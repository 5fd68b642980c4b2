// Every console text of the tool, in one table, each written once.
//
// Each row: the name the code prints it by, the text as UTF-8 (what a terminal or a
// console is given to show), and the English for a terminal whose encoding cannot
// show the Japanese (printable ASCII, the same conversions in the same order). The
// Shift_JIS bytes the tool writes everywhere else are made from this file when the
// tool is built (cmake/shift_jis.cmake): text.h holds the three forms side by side.
#pragma once

// clang-format off
// What --help adds to the usage text: the same ASCII in every form.
#define WAVPAIR_HELP \
  "Usage: wavpair IN1.wav IN2.wav OUT.wav\n" \
  "Folds each stereo input to mono and writes the two folds as the channels of one\n" \
  "stereo OUT.wav, the longer input on the left.\n" \
  "Exit status: 0 when OUT.wav is complete, 255 after any failure (-1 on Windows).\n" \
  "More: man wavpair (on Windows, README.txt).\n"
#define WAVPAIR_MESSAGES(X) \
  /* usage text: makes one WAV from two; asks for input 1, input 2, output */ \
  X(kUsage, \
    "二つのWAVファイルからひとつのWAVファイルを作成します.\n" \
    "\n" \
    "引数に <入力ファイル名１> <入力ファイル名２> <出力ファイル名>を\n" \
    "指定してください.\n" \
    "\n" \
    "例 : wavpair  foo.wav  bar.wav out.wav\n", \
    "Makes one WAV file from two WAV files.\n" \
    "\n" \
    "Give <input file 1> <input file 2> <output file>\n" \
    "as arguments.\n" \
    "\n" \
    "Example : wavpair  foo.wav  bar.wav out.wav\n") \
  /* --help: after the usage text, a summary for those who read no Japanese; a screen that \
     takes English gets it alone */ \
  X(kHelp, "\n" WAVPAIR_HELP, WAVPAIR_HELP) \
  /* an input file is not a stereo file */ \
  X(kNotStereo, "\n入力ファイルがステレオファイルでありません!\n", \
    "\nAn input file is not a stereo file!\n") \
  /* inputs 1 and 2 were combined into the output (names in command-line order) */ \
  X(kCombined, "\n[%s] と [%s] を [%s] へ合成しました.\n", \
    "\nCombined [%s] and [%s] into [%s].\n") \
  /* scan: cannot open the input */ \
  X(kInputOpen, " %sをオープンできません.\n", " Cannot open %s.\n") \
  /* scan: the input's file name */ \
  X(kFileName, "\nファイル名[%s]\n", "\nFile name [%s]\n") \
  /* scan: the RIFF header could not be read; stream position */ \
  X(kReadFailed, " %ld で読み込み失敗.\n", " Read failed at %ld.\n") \
  /* scan: no WAVE mark */ \
  X(kNoWave, "'WAVE' が無い.\n", "No 'WAVE' mark.\n") \
  /* scan: not in RIFF format */ \
  X(kNotRiff, "'RIFF' フォーマットでない.\n", "Not in 'RIFF' format.\n") \
  /* scan: the file has no fmt chunk */ \
  X(kNoFmt, "'fmt ' が無い.\n", "No 'fmt ' chunk.\n") \
  /* scan: the file has no data chunk */ \
  X(kNoData, "'data' が無い.\n", "No 'data' chunk.\n") \
  /* scan: payload size of the fmt chunk (stderr) */ \
  X(kFmtLength, " \"fmt \"の長さ: %ld [bytes]\n", " Length of \"fmt \": %ld [bytes]\n") \
  /* scan: payload size of the data chunk (stderr) */ \
  X(kDataLength, "\n \"data\" の長さ: %ld [bytes]\n", "\n Length of \"data\": %ld [bytes]\n") \
  /* scan: identifier and payload size of any other chunk (stdout) */ \
  X(kChunkLength, " \"%c%c%c%c\"の長さ: %ld [bytes]\n", " Length of \"%c%c%c%c\": %ld [bytes]\n") \
  /* scan: playing time in seconds */ \
  X(kDuration, "\n 時間=%.3f\n", "\n Time=%.3f\n") \
  /* format report: data format */ \
  X(kFmtTag, "             データ形式: %u (1 = PCM)\n", \
    "            Data format: %u (1 = PCM)\n") \
  /* format report: number of channels */ \
  X(kFmtChannels, "           チャンネル数: %u\n", "               Channels: %u\n") \
  /* format report: sampling frequency */ \
  X(kFmtSampleRate, "     サンプリング周波数: %lu [Hz]\n", "            Sample rate: %lu [Hz]\n") \
  /* format report: bytes per second */ \
  X(kFmtBytesPerSec, "          バイト数 / 秒: %lu [bytes/sec]\n", \
    "            Bytes / sec: %lu [bytes/sec]\n") \
  /* format report: bytes times channels (block align) */ \
  X(kFmtBlockAlign, " バイト数×チャンネル数: %u [bytes]\n", \
    "       Bytes x channels: %u [bytes]\n") \
  /* format report: bits per sample */ \
  X(kFmtBits, "    ビット数 / サンプル: %u [bits/sample]\n", \
    "          Bits / sample: %u [bits/sample]\n") \
  /* only uncompressed PCM is handled */ \
  X(kPcmOnly, "\nこのプログラムは無圧縮PCMのみを対象とします.\n", \
    "\nThis program takes uncompressed PCM only.\n") \
  /* the file's format tag */ \
  X(kPcmOnlyTag, "このwavファイルの形式は %04X です．\n", \
    "The format of this wav file is %04X.\n") \
  /* only 8 or 16 bits per sample are handled */ \
  X(kBitsOnly, "\nこのプログラムは8/16ビットサンプリングされたものを対象とします\n", \
    "\nThis program takes 8- or 16-bit samples only\n") \
  /* the file's bits per sample (the Japanese says bits/sec) */ \
  X(kBitsOnlyValue, "このwavファイルの bits/secは %d です．\n", \
    "This wav file has %d bits per sample.\n") \
  /* pairing: sampling frequencies differ */ \
  X(kRateDiffers, "サンプリング周波数が異なると合成できません!\n", \
    "Cannot combine different sample rates!\n") \
  /* pairing: bits per sample differ */ \
  X(kBitsDiffers, "サンプルビット数が異なると合成できません!\n", \
    "Cannot combine different bits per sample!\n") \
  /* pairing: bytes per second differ (the Japanese says bytes per bit) */ \
  X(kBytesPerSecDiffers, "ビット当たりのバイト数が異なると合成できません!\n", \
    "Cannot combine different bytes per second!\n") \
  /* the output is one of the inputs; refused so the input is not replaced */ \
  X(kSameFile, "出力ファイル[%s]が入力ファイルと同じです.\n", \
    "The output file [%s] is an input file.\n") \
  /* the output is the file standard output goes to; refused so the report stays out of it */ \
  X(kSameAsStdout, "出力ファイル[%s]が標準出力と同じです.\n", \
    "The output file [%s] is the standard output.\n") \
  /* the output is the file standard error goes to */ \
  X(kSameAsStderr, "出力ファイル[%s]が標準エラー出力と同じです.\n", \
    "The output file [%s] is the standard error.\n") \
  /* cannot open the output or make its new file; an input that cannot be opened again, or \
     is no longer the file its scan read */ \
  X(kFileOpen, "%s をオープンできません.\n", "Cannot open %s.\n") \
  /* the header cannot hold the rate, or the output cannot hold a file (a FIFO, a terminal) */ \
  X(kHeaderWrite, "ヘッダを書き込めません: %s\n", "Cannot write the header: %s\n") \
  /* an input is shorter than its declared audio, or reading or writing the audio failed */ \
  X(kDataWrite, "wavDataWriteでエラー発生.\n", "Error in wavDataWrite.\n") \
  /* the output could not be flushed, closed or put in place */ \
  X(kOutputWrite, "出力ファイルを書き込めません: %s\n", "Cannot write the output file: %s\n") \
  /* the report could not be written to standard output */ \
  X(kStdoutWrite, "標準出力に書き込めません.\n", "Cannot write to the standard output.\n") \
  /* standard output leads into an input; refused before anything is written there */ \
  X(kInputIsStdout, "入力ファイル[%s]が標準出力と同じです.\n", \
    "The input file [%s] is the standard output.\n") \
  /* --version: the tool's name and version */ \
  X(kVersion, "wavpair " WAVPAIR_VERSION "\n", "wavpair " WAVPAIR_VERSION "\n") \
  /* a long run's progress on a screen (never in a file): percent, written of total, rate, \
     time left */ \
  X(kProgress, "%3u%% %s %s/秒 残り%s", "%3u%% %s %s/s %s left") \
  /* the same where the screen is too narrow for all of it */ \
  X(kProgressPart, "%3u%% %s", "%3u%% %s") \
  /* and where even that does not fit */ \
  X(kProgressPercent, "%3u%%", "%3u%%") \
  /* end of the table */
// clang-format on
