// The pieces that are checked best without a process: the folds and the message table.
#include <regex>

#include "combine/combine.h"
#include "fixture.h"
#include "text.h"

namespace {

// Every pair of 8-bit samples, as A's frame and, standing in for B, as B's.
TEST(Fold, EightBitMatchesFloorOfMeanForEveryPair) {
  std::vector<uint8_t> in(2 * 65536), out(in.size());
  for (size_t k = 0; k < in.size(); ++k) in[k] = uint8_t(k % 2 ? k >> 9 : k >> 1);
  wavBlockFold8(in.data(), in.data(), out.data(), 65536);
  for (int k = 0; k < 65536; ++k) {
    ASSERT_EQ(out[2 * k], ((k & 0xFF) + (k >> 8)) / 2) << (k & 0xFF) << " " << (k >> 8);
    ASSERT_EQ(out[2 * k + 1], out[2 * k]) << "as B";
  }
}

// The Shift_JIS bytes made when the tool is built are those stored reports hold, the
// full-width marks ("×", "．", "１") and the closing line among them.
TEST(Messages, ShiftJisBytesAreThoseStoredReportsHold) {
  for (const auto& [m, bytes] : std::vector<std::pair<const Message*, Bytes>>{
           {&msg::kCombined,
            "\n[%s] \202\306 [%s] \202\360 [%s] \202\326\215\207\220\254\202\265"
            "\202\334\202\265\202\275.\n"},
           {&msg::kFmtBlockAlign,
            " \203o\203C\203g\220\224\201~\203`\203\203\203\223\203l\203\213"
            "\220\224: %u [bytes]\n"},
           {&msg::kPcmOnlyTag,
            "\202\261\202\314wav\203t\203@\203C\203\213\202\314\214`\216\256"
            "\202\315 %04X \202\305\202\267\201D\n"}}) {
    EXPECT_EQ(m->sjis, bytes) << m->name;
  }
  EXPECT_NE(Bytes(msg::kUsage.sjis).find("\226\274\202P> <"), Bytes::npos) << "the full-width 1";
}

// The English a screen may get instead takes the same arguments (the same conversions
// in the same order), ends its line the same way and is printable ASCII.
TEST(Messages, EnglishTakesTheSameArgumentsInAscii) {
  const std::regex one("%[-+ #0-9.*]*[hlLjzt]*[a-zA-Z%]|\n$");
  const auto conversions = [&](const std::string& s) {
    std::string all;
    for (std::sregex_iterator i(s.begin(), s.end(), one), end; i != end; ++i) all += i->str();
    return all;
  };
  for (const Message* m : msg::kAll) {
    EXPECT_EQ(conversions(m->english), conversions(m->utf8)) << m->name;
    EXPECT_TRUE(std::regex_match(m->english, std::regex("[ -~\n]*"))) << m->name;
  }
}

// A name read as UTF-8: on a screen nothing of it that could drive the screen gets
// through (controls, the marks that reorder text); into a file or a pipe it is code
// page 932. The other encodings and screens are held by the runs of the tool itself.
TEST(Messages, NamesTakeTheirStreamsForm) {
  const auto form = [](bool screen) {
    StreamForm f;
    f.screen = screen, f.shiftJis = !screen, f.names = NameSource::kUtf8;
    std::snprintf(f.codeset, sizeof f.codeset, "UTF-8");
    return f;
  };
  const StreamForm utf8Screen = form(true), utf8File = form(false);
  StreamForm asGiven = utf8Screen;  // a screen whose locale says nothing of the names
  asGiven.names = NameSource::kAsGiven;
  const Bytes escapes = "x\x1b]0;t\x07\x1b[2J\x7f", c1 = "\xc2\x80\xc2\x9b\xc2\x9f\xc2\xa0";
  const Bytes bidi = "a\u202egnp\u061c\u200e\u200f\u202a\u2066\u2069\u2067.wav\u2065\u202f";
  const std::vector<std::tuple<StreamForm, Bytes, Bytes>> cases = {
      {utf8Screen, escapes, "x?]0;t??[2J?"},
      {utf8Screen, c1, "???\xc2\xa0"},                     // C1 controls go, a no-break space stays
      {utf8Screen, bidi, "a?gnp???????.wav\u2065\u202f"},  // their neighbours stay
      {utf8Screen, "a\x80\xff\xe9\x95z", "a????z"},        // bytes that are no UTF-8, one '?' each
      // The first and last lead bytes of two and three bytes; an overlong form is none.
      {utf8Screen, "\xdf\xbf\xe0\xa0\x80\xef\xbf\xbd\xc1\xbf",
       "\xdf\xbf\xe0\xa0\x80\xef\xbf\xbd??"},
      // Four-byte characters up to U+10FFFF stay; past it, bytes that are no character.
      {utf8Screen, "\U0001F600\U0010FFFF\xf4\x90\x80\x80", "\U0001F600\U0010FFFF????"},
      {asGiven, "~ \x7f\x1fx\xff", "~ ??x?"},  // printable ASCII only
      {utf8File, escapes, escapes},
      {utf8File, "a\u202egnp.wav", "a?gnp.wav"},  // code page 932 lacks it
      {utf8File, "음악\xff.wav", "???.wav"},
  };
  for (const auto& [f, name, want] : cases) EXPECT_EQ(textName(f, name.c_str()), want) << name;
  // A name is filled in, never read as a format.
  EXPECT_EQ(textBytes(utf8Screen, &msg::kFileName, "%s%n%ld"), "\nファイル名[%s%n%ld]\n");
  EXPECT_EQ(textBytes(utf8File, &msg::kCombined, "長い", "%s", "b"),
            toSjis("\n[長い] と [%s] を [b] へ合成しました.\n"));
}

// The RIFF size field holds data + 36 and stops at 0xFFFFFFFF instead of wrapping.
TEST(Header, RiffSizeIsCappedNearFourGiB) {
  for (const auto& [data, riffSize] :
       std::vector<std::pair<uint32_t, uint32_t>>{{1764000, 1764036},
                                                  {0xFFFFFFD8U, 0xFFFFFFFCU},
                                                  {0xFFFFFFDCU, 0xFFFFFFFFU},
                                                  {0xFFFFFFFCU, 0xFFFFFFFFU}}) {
    const WavInfo infos[2] = {{44100, 16, data, 2, 176400, 44}, {}};
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(wavHeaderWrite(f, infos), kWavHeaderSize);
    uint8_t h[kWavHeaderSize] = {};
    std::rewind(f);
    EXPECT_EQ(std::fread(h, sizeof h, 1, f), 1U);
    std::fclose(f);
    EXPECT_EQ(getU32le(h + 4), riffSize) << data;
    EXPECT_EQ(getU32le(h + 40), data) << data;
  }
}

}  // namespace
