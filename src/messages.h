// Every console text of the tool, in one table.
//
// Each row: the name the code prints it by, the text as UTF-8 (what a terminal or a
// console is given to show), the Shift_JIS bytes the tool writes everywhere else, and
// the English for a terminal whose encoding cannot show the Japanese (printable ASCII,
// the same conversions in the same order). The bytes are octal escapes so that they do
// not depend on the compiler's execution character set: clang cannot encode string
// literals as Shift_JIS.
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
    "\223\361\202\302\202\314WAV\203t\203@\203C\203\213\202\251\202\347\202\320\202\306\202\302\202\314WAV\203t\203@\203C\203\213\202\360\215\354\220\254\202\265\202\334\202\267.\n" \
    "\n" \
    "\210\370\220\224\202\311 <\223\374\227\315\203t\203@\203C\203\213\226\274\202P> <\223\374\227\315\203t\203@\203C\203\213\226\274\202Q> <\217o\227\315\203t\203@\203C\203\213\226\274>\202\360\n" \
    "\216w\222\350\202\265\202\304\202\255\202\276\202\263\202\242.\n" \
    "\n" \
    "\227\341 : wavpair  foo.wav  bar.wav out.wav\n", \
    "Makes one WAV file from two WAV files.\n" \
    "\n" \
    "Give <input file 1> <input file 2> <output file>\n" \
    "as arguments.\n" \
    "\n" \
    "Example : wavpair  foo.wav  bar.wav out.wav\n") \
  /* --help: after the usage text, a summary for those who read no Japanese; a screen \
     that takes English gets it alone */ \
  X(kHelp, "\n" WAVPAIR_HELP, "\n" WAVPAIR_HELP, WAVPAIR_HELP) \
  /* an input file is not a stereo file */ \
  X(kNotStereo, "\n入力ファイルがステレオファイルでありません!\n", \
    "\n\223\374\227\315\203t\203@\203C\203\213\202\252\203X\203e\203\214\203I\203t\203@\203C\203\213\202\305\202\240\202\350\202\334\202\271\202\361!\n", \
    "\nAn input file is not a stereo file!\n") \
  /* inputs 1 and 2 were combined into the output (names in command-line order) */ \
  X(kCombined, "\n[%s] と [%s] を [%s] へ合成しました.\n", \
    "\n[%s] \202\306 [%s] \202\360 [%s] \202\326\215\207\220\254\202\265\202\334\202\265\202\275.\n", \
    "\nCombined [%s] and [%s] into [%s].\n") \
  /* scan: cannot open the input */ \
  X(kInputOpen, " %sをオープンできません.\n", \
    " %s\202\360\203I\201[\203v\203\223\202\305\202\253\202\334\202\271\202\361.\n", \
    " Cannot open %s.\n") \
  /* scan: the input's file name */ \
  X(kFileName, "\nファイル名[%s]\n", \
    "\n\203t\203@\203C\203\213\226\274[%s]\n", \
    "\nFile name [%s]\n") \
  /* scan: the RIFF header could not be read; stream position */ \
  X(kReadFailed, " %ld で読み込み失敗.\n", \
    " %ld \202\305\223\307\202\335\215\236\202\335\216\270\224s.\n", \
    " Read failed at %ld.\n") \
  /* scan: no WAVE mark */ \
  X(kNoWave, "'WAVE' が無い.\n", \
    "'WAVE' \202\252\226\263\202\242.\n", \
    "No 'WAVE' mark.\n") \
  /* scan: not in RIFF format */ \
  X(kNotRiff, "'RIFF' フォーマットでない.\n", \
    "'RIFF' \203t\203H\201[\203}\203b\203g\202\305\202\310\202\242.\n", \
    "Not in 'RIFF' format.\n") \
  /* scan: the file has no fmt chunk */ \
  X(kNoFmt, "'fmt ' が無い.\n", \
    "'fmt ' \202\252\226\263\202\242.\n", \
    "No 'fmt ' chunk.\n") \
  /* scan: the file has no data chunk */ \
  X(kNoData, "'data' が無い.\n", \
    "'data' \202\252\226\263\202\242.\n", \
    "No 'data' chunk.\n") \
  /* scan: payload size of the fmt chunk (stderr) */ \
  X(kFmtLength, " \"fmt \"の長さ: %ld [bytes]\n", \
    " \"fmt \"\202\314\222\267\202\263: %ld [bytes]\n", \
    " Length of \"fmt \": %ld [bytes]\n") \
  /* scan: payload size of the data chunk (stderr) */ \
  X(kDataLength, "\n \"data\" の長さ: %ld [bytes]\n", \
    "\n \"data\" \202\314\222\267\202\263: %ld [bytes]\n", \
    "\n Length of \"data\": %ld [bytes]\n") \
  /* scan: identifier and payload size of any other chunk (stdout) */ \
  X(kChunkLength, " \"%c%c%c%c\"の長さ: %ld [bytes]\n", \
    " \"%c%c%c%c\"\202\314\222\267\202\263: %ld [bytes]\n", \
    " Length of \"%c%c%c%c\": %ld [bytes]\n") \
  /* scan: playing time in seconds */ \
  X(kDuration, "\n 時間=%.3f\n", \
    "\n \216\236\212\324=%.3f\n", \
    "\n Time=%.3f\n") \
  /* format report: data format */ \
  X(kFmtTag, "             データ形式: %u (1 = PCM)\n", \
    "             \203f\201[\203^\214`\216\256: %u (1 = PCM)\n", \
    "            Data format: %u (1 = PCM)\n") \
  /* format report: number of channels */ \
  X(kFmtChannels, "           チャンネル数: %u\n", \
    "           \203`\203\203\203\223\203l\203\213\220\224: %u\n", \
    "               Channels: %u\n") \
  /* format report: sampling frequency */ \
  X(kFmtSampleRate, "     サンプリング周波数: %lu [Hz]\n", \
    "     \203T\203\223\203v\203\212\203\223\203O\216\374\224g\220\224: %lu [Hz]\n", \
    "            Sample rate: %lu [Hz]\n") \
  /* format report: bytes per second */ \
  X(kFmtBytesPerSec, "          バイト数 / 秒: %lu [bytes/sec]\n", \
    "          \203o\203C\203g\220\224 / \225b: %lu [bytes/sec]\n", \
    "            Bytes / sec: %lu [bytes/sec]\n") \
  /* format report: bytes times channels (block align) */ \
  X(kFmtBlockAlign, " バイト数×チャンネル数: %u [bytes]\n", \
    " \203o\203C\203g\220\224\201~\203`\203\203\203\223\203l\203\213\220\224: %u [bytes]\n", \
    "       Bytes x channels: %u [bytes]\n") \
  /* format report: bits per sample */ \
  X(kFmtBits, "    ビット数 / サンプル: %u [bits/sample]\n", \
    "    \203r\203b\203g\220\224 / \203T\203\223\203v\203\213: %u [bits/sample]\n", \
    "          Bits / sample: %u [bits/sample]\n") \
  /* only uncompressed PCM is handled */ \
  X(kPcmOnly, "\nこのプログラムは無圧縮PCMのみを対象とします.\n", \
    "\n\202\261\202\314\203v\203\215\203O\203\211\203\200\202\315\226\263\210\263\217kPCM\202\314\202\335\202\360\221\316\217\333\202\306\202\265\202\334\202\267.\n", \
    "\nThis program takes uncompressed PCM only.\n") \
  /* the file's format tag */ \
  X(kPcmOnlyTag, "このwavファイルの形式は %04X です．\n", \
    "\202\261\202\314wav\203t\203@\203C\203\213\202\314\214`\216\256\202\315 %04X \202\305\202\267\201D\n", \
    "The format of this wav file is %04X.\n") \
  /* only 8 or 16 bits per sample are handled */ \
  X(kBitsOnly, "\nこのプログラムは8/16ビットサンプリングされたものを対象とします\n", \
    "\n\202\261\202\314\203v\203\215\203O\203\211\203\200\202\3158/16\203r\203b\203g\203T\203\223\203v\203\212\203\223\203O\202\263\202\352\202\275\202\340\202\314\202\360\221\316\217\333\202\306\202\265\202\334\202\267\n", \
    "\nThis program takes 8- or 16-bit samples only\n") \
  /* the file's bits per sample (the Japanese says bits/sec) */ \
  X(kBitsOnlyValue, "このwavファイルの bits/secは %d です．\n", \
    "\202\261\202\314wav\203t\203@\203C\203\213\202\314 bits/sec\202\315 %d \202\305\202\267\201D\n", \
    "This wav file has %d bits per sample.\n") \
  /* pairing: sampling frequencies differ */ \
  X(kRateDiffers, "サンプリング周波数が異なると合成できません!\n", \
    "\203T\203\223\203v\203\212\203\223\203O\216\374\224g\220\224\202\252\210\331\202\310\202\351\202\306\215\207\220\254\202\305\202\253\202\334\202\271\202\361!\n", \
    "Cannot combine different sample rates!\n") \
  /* pairing: bits per sample differ */ \
  X(kBitsDiffers, "サンプルビット数が異なると合成できません!\n", \
    "\203T\203\223\203v\203\213\203r\203b\203g\220\224\202\252\210\331\202\310\202\351\202\306\215\207\220\254\202\305\202\253\202\334\202\271\202\361!\n", \
    "Cannot combine different bits per sample!\n") \
  /* pairing: bytes per second differ (the Japanese says bytes per bit) */ \
  X(kBytesPerSecDiffers, "ビット当たりのバイト数が異なると合成できません!\n", \
    "\203r\203b\203g\223\226\202\275\202\350\202\314\203o\203C\203g\220\224\202\252\210\331\202\310\202\351\202\306\215\207\220\254\202\305\202\253\202\334\202\271\202\361!\n", \
    "Cannot combine different bytes per second!\n") \
  /* the output is one of the inputs; refused so the input is not truncated */ \
  X(kSameFile, "出力ファイル[%s]が入力ファイルと同じです.\n", \
    "\217o\227\315\203t\203@\203C\203\213[%s]\202\252\223\374\227\315\203t\203@\203C\203\213\202\306\223\257\202\266\202\305\202\267.\n", \
    "The output file [%s] is an input file.\n") \
  /* the output is the file standard output goes to; refused so the report stays out of it */ \
  X(kSameAsStdout, "出力ファイル[%s]が標準出力と同じです.\n", \
    "\217o\227\315\203t\203@\203C\203\213[%s]\202\252\225W\217\200\217o\227\315\202\306\223\257\202\266\202\305\202\267.\n", \
    "The output file [%s] is the standard output.\n") \
  /* the output is the file standard error goes to */ \
  X(kSameAsStderr, "出力ファイル[%s]が標準エラー出力と同じです.\n", \
    "\217o\227\315\203t\203@\203C\203\213[%s]\202\252\225W\217\200\203G\203\211\201[\217o\227\315\202\306\223\257\202\266\202\305\202\267.\n", \
    "The output file [%s] is the standard error.\n") \
  /* combine: cannot open the output or reopen an input */ \
  X(kFileOpen, "%s をオープンできません.\n", \
    "%s \202\360\203I\201[\203v\203\223\202\305\202\253\202\334\202\271\202\361.\n", \
    "Cannot open %s.\n") \
  /* combine: cannot write the output header */ \
  X(kHeaderWrite, "ヘッダを書き込めません: %s\n", \
    "\203w\203b\203_\202\360\217\221\202\253\215\236\202\337\202\334\202\271\202\361: %s\n", \
    "Cannot write the header: %s\n") \
  /* combine: reading or writing the audio failed */ \
  X(kDataWrite, "wavDataWriteでエラー発生.\n", \
    "wavDataWrite\202\305\203G\203\211\201[\224\255\220\266.\n", \
    "Error in wavDataWrite.\n") \
  /* combine: the output could not be flushed and closed */ \
  X(kOutputWrite, "出力ファイルを書き込めません: %s\n", \
    "\217o\227\315\203t\203@\203C\203\213\202\360\217\221\202\253\215\236\202\337\202\334\202\271\202\361: %s\n", \
    "Cannot write the output file: %s\n") \
  /* the report could not be written to standard output */ \
  X(kStdoutWrite, "標準出力に書き込めません.\n", \
    "\225W\217\200\217o\227\315\202\311\217\221\202\253\215\236\202\337\202\334\202\271\202\361.\n", \
    "Cannot write to the standard output.\n") \
  /* standard output leads into an input; refused before anything is written there */ \
  X(kInputIsStdout, "入力ファイル[%s]が標準出力と同じです.\n", \
    "\223\374\227\315\203t\203@\203C\203\213[%s]\202\252\225W\217\200\217o\227\315\202\306\223\257\202\266\202\305\202\267.\n", \
    "The input file [%s] is the standard output.\n") \
  /* --version: the tool's name and version */ \
  X(kVersion, "wavpair " WAVPAIR_VERSION "\n", "wavpair " WAVPAIR_VERSION "\n", \
    "wavpair " WAVPAIR_VERSION "\n") \
  /* end of the table */
// clang-format on

// One console text in its three forms: the Shift_JIS bytes go wherever the text is
// stored or parsed, the UTF-8 is what a terminal or console is given to show, the
// English what a terminal that cannot show Japanese gets instead. Its name is its
// identity for a front that must know which text was printed (the page) without
// reading the text back.
struct Message {
  const char* name;
  const char* utf8;
  const char* sjis;
  const char* english;
};

namespace msg {
#define WAVPAIR_MESSAGE(name, utf8, sjis, english) \
  inline constexpr Message name{#name, utf8, sjis, english};
WAVPAIR_MESSAGES(WAVPAIR_MESSAGE)
#undef WAVPAIR_MESSAGE
// Every text, for what must hold for all of them.
#define WAVPAIR_MESSAGE(name, utf8, sjis, english) &(name),
inline constexpr const Message* kAll[] = {WAVPAIR_MESSAGES(WAVPAIR_MESSAGE)};
#undef WAVPAIR_MESSAGE
}  // namespace msg
