#include "platform/common/key_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

using namespace std::string_literals;

// Internal linkage: other test files may print PcKey their own way.
static void PrintTo(const PcKey& key, std::ostream* os) {
  if (key.Char != 0) {
    *os << "char " << int{key.Char};
  } else {
    *os << "code " << int{key.Code};
  }
}

namespace {

using Keys = std::vector<PcKey>;

PcKey Ch(uint8_t c) {
  return PcKey{c, 0};
}
PcKey Code(uint8_t code) {
  return PcKey{0, code};
}
const PcKey kEsc = Ch(27);

void FeedText(KeyDecoder& decoder, const std::string& bytes, int64_t nowMs) {
  decoder.Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), nowMs);
}

void Drain(KeyDecoder& decoder, int64_t nowMs, Keys& keys) {
  PcKey key;
  while (decoder.Next(key, nowMs)) keys.push_back(key);
}

// Feeds the pieces at time 0, taking keys after each, then lets the deadline pass.
Keys DecodePieces(const std::vector<std::string>& pieces) {
  KeyDecoder decoder;
  Keys keys;
  for (const std::string& piece : pieces) {
    FeedText(decoder, piece, 0);
    Drain(decoder, 0, keys);
  }
  Drain(decoder, 1000, keys);
  EXPECT_EQ(decoder.Deadline(), -1);
  return keys;
}

std::string Printable(const std::string& bytes) {
  std::string out;
  for (unsigned char b : bytes) {
    if (b == 0x1B) {
      out += "ESC ";
    } else if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out;
}

struct Case {
  std::string Bytes;
  Keys Expected;
};

// Whole, split in two at every point and byte by byte: where a read split the
// input must never matter.
void CheckCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(Printable(c.Bytes));
    EXPECT_EQ(DecodePieces({c.Bytes}), c.Expected);
    for (size_t cut = 1; cut < c.Bytes.size(); ++cut) {
      EXPECT_EQ(DecodePieces({c.Bytes.substr(0, cut), c.Bytes.substr(cut)}), c.Expected)
          << "split at " << cut;
    }
    std::vector<std::string> bytes;
    for (char b : c.Bytes) bytes.push_back(std::string(1, b));
    EXPECT_EQ(DecodePieces(bytes), c.Expected) << "byte by byte";
  }
}

TEST(KeyDecoder, EveryTerminalFamilyForm) {
  CheckCases({
      // Cursor keys, normal and application mode.
      {"\033[A", {Code(72)}},
      {"\033[B", {Code(80)}},
      {"\033[C", {Code(77)}},
      {"\033[D", {Code(75)}},
      {"\033OA", {Code(72)}},
      {"\033OB", {Code(80)}},
      {"\033OC", {Code(77)}},
      {"\033OD", {Code(75)}},
      {"\033[H", {Code(71)}},
      {"\033OH", {Code(71)}},
      {"\033[1~", {Code(71)}},
      {"\033[7~", {Code(71)}},
      {"\033[F", {Code(79)}},
      {"\033OF", {Code(79)}},
      {"\033[4~", {Code(79)}},
      {"\033[8~", {Code(79)}},
      {"\033[5~", {Code(73)}},
      {"\033[6~", {Code(81)}},
      {"\033[2~", {Code(82)}},
      {"\033[3~", {Code(83)}},
      // F1-F12: SS3, old xterm / rxvt / PuTTY, Linux console.
      {"\033OP", {Code(59)}},
      {"\033OQ", {Code(60)}},
      {"\033OR", {Code(61)}},
      {"\033OS", {Code(62)}},
      {"\033[11~", {Code(59)}},
      {"\033[12~", {Code(60)}},
      {"\033[13~", {Code(61)}},
      {"\033[14~", {Code(62)}},
      {"\033[[A", {Code(59)}},
      {"\033[[B", {Code(60)}},
      {"\033[[C", {Code(61)}},
      {"\033[[D", {Code(62)}},
      {"\033[[E", {Code(63)}},
      {"\033[15~", {Code(63)}},
      {"\033[17~", {Code(64)}},
      {"\033[18~", {Code(65)}},
      {"\033[19~", {Code(66)}},
      {"\033[20~", {Code(67)}},
      {"\033[21~", {Code(68)}},
      {"\033[23~", {Code(133)}},
      {"\033[24~", {Code(134)}},
      // Shift-F1-F10: xterm, Konsole, Linux console / rxvt / PuTTY.
      {"\033[1;2P", {Code(84)}},
      {"\033[1;2Q", {Code(85)}},
      {"\033[1;2R", {Code(86)}},
      {"\033[1;2S", {Code(87)}},
      {"\033O2P", {Code(84)}},
      {"\033O2S", {Code(87)}},
      {"\033[25~", {Code(86)}},
      {"\033[26~", {Code(87)}},
      {"\033[15;2~", {Code(88)}},
      {"\033[17;2~", {Code(89)}},
      {"\033[18;2~", {Code(90)}},
      {"\033[19;2~", {Code(91)}},
      {"\033[20;2~", {Code(92)}},
      {"\033[21;2~", {Code(93)}},
      {"\033[28~", {Code(88)}},
      {"\033[29~", {Code(89)}},
      {"\033[31~", {Code(90)}},
      {"\033[32~", {Code(91)}},
      {"\033[33~", {Code(92)}},
      {"\033[34~", {Code(93)}},
      // Ctrl-F1-F10: xterm, rxvt.
      {"\033[1;5P", {Code(94)}},
      {"\033[1;5S", {Code(97)}},
      {"\033[15;5~", {Code(98)}},
      {"\033[17;5~", {Code(99)}},
      {"\033[21;5~", {Code(103)}},
      {"\033[11^", {Code(94)}},
      {"\033[14^", {Code(97)}},
      {"\033[15^", {Code(98)}},
      {"\033[17^", {Code(99)}},
      {"\033[21^", {Code(103)}},
      // Alt-F1-F10: xterm; rxvt and PuTTY send ESC + the F-key.
      {"\033[1;3P", {Code(104)}},
      {"\033[1;3S", {Code(107)}},
      {"\033[15;3~", {Code(108)}},
      {"\033[21;3~", {Code(113)}},
      {"\033\033OP", {Code(104)}},
      {"\033\033[11~", {Code(104)}},
      {"\033\033[[A", {Code(104)}},
      {"\033\033[15~", {Code(108)}},
      {"\033\033[21~", {Code(113)}},
      // F11/F12 with modifiers, xterm and rxvt.
      {"\033[23;2~", {Code(135)}},
      {"\033[24;2~", {Code(136)}},
      {"\033[23;5~", {Code(137)}},
      {"\033[24;5~", {Code(138)}},
      {"\033[23;3~", {Code(139)}},
      {"\033[24;3~", {Code(140)}},
      {"\033[23$", {Code(135)}},
      {"\033[24$", {Code(136)}},
      {"\033[23^", {Code(137)}},
      {"\033[24^", {Code(138)}},
      {"\033\033[24~", {Code(140)}},
      // Shift-Tab, Enter, keypad Enter, Backspace, Tab.
      {"\033[Z", {Code(15)}},
      {"\033\t", {Code(15)}},
      {"\r", {Ch(13)}},
      {"\033OM", {Ch(13)}},
      {"\x7f", {Ch(8)}},
      {"\x08", {Ch(8)}},
      {"\t", {Ch(9)}},
  });
}

TEST(KeyDecoder, ModifiedCursorKeysUsePcCodes) {
  CheckCases({
      {"\033[1;5D", {Code(115)}},
      {"\033[1;5C", {Code(116)}},
      {"\033[1;5F", {Code(117)}},
      {"\033[6;5~", {Code(118)}},
      {"\033[1;5H", {Code(119)}},
      {"\033[5;5~", {Code(132)}},
      {"\033[1;5A", {Code(141)}},
      {"\033[1;5B", {Code(145)}},
      {"\033[2;5~", {Code(146)}},
      {"\033[3;5~", {Code(147)}},
      {"\033[1;3H", {Code(151)}},
      {"\033[1;3A", {Code(152)}},
      {"\033[5;3~", {Code(153)}},
      {"\033[1;3D", {Code(155)}},
      {"\033[1;3C", {Code(157)}},
      {"\033[1;3F", {Code(159)}},
      {"\033[1;3B", {Code(160)}},
      {"\033[6;3~", {Code(161)}},
      {"\033[2;3~", {Code(162)}},
      {"\033[3;3~", {Code(163)}},
      // Shift alone leaves a cursor key as it is.
      {"\033[1;2A", {Code(72)}},
      {"\033[1;2H", {Code(71)}},
      {"\033[3;2~", {Code(83)}},
      // Several modifiers: the strongest wins (Shift < Ctrl < Alt).
      {"\033[1;6A", {Code(141)}},
      {"\033[1;4A", {Code(152)}},
      {"\033[1;7A", {Code(152)}},
      {"\033[1;8A", {Code(152)}},
      {"\033[1;6P", {Code(94)}},
      {"\033[15;4~", {Code(108)}},
      {"\033[23;6~", {Code(137)}},
      {"\033[25^", {Code(96)}},  // rxvt Ctrl-Shift-F3
      // Forms of the same keys from rxvt and Konsole.
      {"\033[a", {Code(72)}},
      {"\033[d", {Code(75)}},
      {"\033Oa", {Code(141)}},
      {"\033Ob", {Code(145)}},
      {"\033Oc", {Code(116)}},
      {"\033Od", {Code(115)}},
      {"\033[2$", {Code(82)}},
      {"\033[3^", {Code(147)}},
      {"\033[7^", {Code(119)}},
      {"\033[8@", {Code(117)}},
      {"\033O5D", {Code(115)}},
      // The keypad in application mode types its characters.
      {"\033Op\033Oy\033Ok\033Om\033Oj\033On\033OX",
       {Ch('0'), Ch('9'), Ch('+'), Ch('-'), Ch('*'), Ch('.'), Ch('=')}},
  });
}

TEST(KeyDecoder, AltKeys) {
  CheckCases({
      // Both ends of each row of letters, either case, and the digits.
      {"\033q", {Code(16)}},
      {"\033p", {Code(25)}},
      {"\033a", {Code(30)}},
      {"\033l", {Code(38)}},
      {"\033z", {Code(44)}},
      {"\033m", {Code(50)}},
      {"\033Z", {Code(44)}},
      {"\033Q", {Code(16)}},
      {"\0331", {Code(120)}},
      {"\0339", {Code(128)}},
      {"\0330", {Code(129)}},
      // ESC before a byte without an Alt form is the Esc key.
      {"\033,", {kEsc, Ch(',')}},
      {"\033\r", {kEsc, Ch(13)}},
      {"\033\033a", {kEsc, Code(30)}},
      {"\033\033\033", {kEsc, kEsc, kEsc}},
      // ESC before a whole sequence is Alt; not Esc, '[', Shift-A.
      {"\033\033[A", {Code(152)}},
      {"\033\033OA", {Code(152)}},
      {"\033\033[5~", {Code(153)}},
      {"\033\033[1;5A", {Code(152)}},
      // Keys without an Alt form, and swallowed sequences, keep the Esc.
      {"\033\033[Z", {kEsc, Code(15)}},
      {"\033\033OM", {kEsc, Ch(13)}},
      {"\033\033[I", {kEsc}},
      {"\033\033[1\r", {kEsc, Ch(13)}},
  });
}

TEST(KeyDecoder, Characters) {
  CheckCases({
      {" ~Az", {Ch(' '), Ch('~'), Ch('A'), Ch('z')}},
      {"\x01\x1a\n", {Ch(1), Ch(26), Ch(10)}},
      {"\0x"s, {Ch('x')}},
      // UTF-8 to CP437.
      {"\xc3\xa9\xc3\xbc", {Ch(0x82), Ch(0x81)}},
      {"\xe2\x96\x91", {Ch(0xB0)}},
      {"\xce\xb1", {Ch(0xE0)}},
      {"\xc2\xa0", {Ch(0xFF)}},
      {"\033\xc3\xa9", {kEsc, Ch(0x82)}},
      // Not in CP437, or a glyph that would read as a control key: the note
      // is 0x0D (Enter), the left arrow 0x1B (Esc), the house 0x7F.
      {"\xe2\x82\xac", {}},
      {"\xf0\x9f\x98\x80x", {Ch('x')}},
      {"\xe2\x99\xaa", {}},
      {"\xe2\x86\x90", {}},
      {"\xe2\x8c\x82", {}},
      // Malformed: a stray continuation, a cut-off character, an overlong
      // form, a surrogate, a code point beyond U+10FFFF, a byte never used.
      {"\x80x", {Ch('x')}},
      {"\xc3x", {Ch('x')}},
      {"\xe2\x96\033[A", {Code(72)}},
      {"\xc0\xafx", {Ch('x')}},
      {"\xed\xa0\x80x", {Ch('x')}},
      {"\xf4\x90\x80\x80x", {Ch('x')}},
      {"\xffx", {Ch('x')}},
  });
}

TEST(KeyDecoder, UnknownInputIsSwallowed) {
  const std::string open29 = "\033[" + std::string(29, '1');  // 31 bytes
  CheckCases({
      {"\033[99~x", {Ch('x')}},
      {"\033Ozx", {Ch('x')}},
      {"\033[1;5ux", {Ch('x')}},
      {"\033[2 qx", {Ch('x')}},
      {"\033[?1;2cx", {Ch('x')}},
      // '$' ends only rxvt's numbered keys; elsewhere it is an intermediate.
      {"\033[?1;2$yx", {Ch('x')}},
      {"\033[[Zx", {Ch('x')}},
      // Focus and mouse reports (X10, SGR, urxvt).
      {"\033[I\033[Ox", {Ch('x')}},
      {"\033[M !!x", {Ch('x')}},
      {"\033[M\x7f\x7f\x7fx", {Ch('x')}},
      {"\033[<0;12;5M\033[<0;12;5mx", {Ch('x')}},
      {"\033[32;12;5Mx", {Ch('x')}},
      // Bracketed paste: the markers go, the text between is typed.
      {"\033[200~hi\r\033[201~x", {Ch('h'), Ch('i'), Ch(13), Ch('x')}},
      // A byte that cannot go on with a sequence drops it and starts afresh.
      {"\033[1\033[A", {Code(72)}},
      {"\033[12\r", {Ch(13)}},
      {"\033[\r", {kEsc, Ch('['), Ch(13)}},
      {"\033O\x01", {Code(24), Ch(1)}},
      // 32 bytes is the longest sequence; a longer one is dropped at 32.
      {open29 + "~x", {Ch('x')}},
      {open29 + "1\033[A", {Code(72)}},
      {open29 + "1~x", {Ch('~'), Ch('x')}},
  });
}

TEST(KeyDecoder, LongestSequenceStillWaitsAndOneMoreByteDropsIt) {
  KeyDecoder decoder;
  Keys keys;
  FeedText(decoder, "\033[" + std::string(29, '1'), 0);
  EXPECT_EQ(decoder.Deadline(), 40);
  FeedText(decoder, "1", 0);
  EXPECT_EQ(decoder.Deadline(), -1);
  Drain(decoder, 0, keys);
  EXPECT_EQ(keys, Keys{});
}

TEST(KeyDecoderDeadline, LoneEscIsTheEscKeyAtTheDeadline) {
  KeyDecoder decoder;
  PcKey key;
  EXPECT_EQ(decoder.Deadline(), -1);
  FeedText(decoder, "\033", 0);
  EXPECT_EQ(decoder.Deadline(), 40);
  EXPECT_FALSE(decoder.Next(key, 39));
  ASSERT_TRUE(decoder.Next(key, 40));
  EXPECT_EQ(key, kEsc);
  EXPECT_EQ(decoder.Deadline(), -1);
  EXPECT_FALSE(decoder.Next(key, 40));
  // A whole sequence leaves nothing pending, taken or not.
  FeedText(decoder, "\033[A", 50);
  EXPECT_EQ(decoder.Deadline(), -1);
}

TEST(KeyDecoderDeadline, EachByteMovesTheDeadline) {
  KeyDecoder decoder;
  PcKey key;
  FeedText(decoder, "\033", 0);
  FeedText(decoder, "[", 30);
  EXPECT_EQ(decoder.Deadline(), 70);
  EXPECT_FALSE(decoder.Next(key, 60));
  FeedText(decoder, "A", 60);
  ASSERT_TRUE(decoder.Next(key, 60));
  EXPECT_EQ(key, Code(72));
  EXPECT_EQ(decoder.Deadline(), -1);
}

// The second piece comes gapMs after the first: within the deadline it
// finishes the first; from the deadline on it starts afresh, whether or not
// Next was asked in between.
TEST(KeyDecoderDeadline, LateBytesStartAfresh) {
  struct GapCase {
    std::string First, Second;
    int64_t GapMs;
    Keys Expected;
  };
  const GapCase cases[] = {
      {"\033", "a", 39, {Code(30)}},
      {"\033", "a", 40, {kEsc, Ch('a')}},
      {"\033", "OP", 39, {Code(59)}},
      {"\033", "OP", 40, {kEsc, Ch('O'), Ch('P')}},
      {"\033[", "A", 39, {Code(72)}},
      {"\033[", "A", 40, {kEsc, Ch('['), Ch('A')}},
      {"\033O", "P", 40, {Code(24), Ch('P')}},
      {"\033\033", "[A", 39, {Code(152)}},
      {"\033\033", "[A", 40, {kEsc, kEsc, Ch('['), Ch('A')}},
      {"\xc3", "\xa9", 39, {Ch(0x82)}},
      {"\xc3", "\xa9", 40, {}},
  };
  for (const GapCase& c : cases) {
    for (bool poll : {false, true}) {
      SCOPED_TRACE(Printable(c.First) + " | " + Printable(c.Second) + " after " +
                   std::to_string(c.GapMs) + (poll ? " ms, polled" : " ms"));
      KeyDecoder decoder;
      Keys keys;
      FeedText(decoder, c.First, 0);
      if (poll) {
        for (int64_t t = 0; t <= c.GapMs; ++t) Drain(decoder, t, keys);
      }
      FeedText(decoder, c.Second, c.GapMs);
      Drain(decoder, c.GapMs, keys);
      Drain(decoder, c.GapMs + 1000, keys);
      EXPECT_EQ(keys, c.Expected);
    }
  }
}

// What a prefix left unfinished gives once its deadline passes.
TEST(KeyDecoderDeadline, UnfinishedPrefixSettles) {
  const Case cases[] = {
      {"\033", {kEsc}},
      {"\033O", {Code(24)}},  // Alt-O, not F1 waiting for its last byte
      {"\033[", {kEsc, Ch('[')}},
      {"\033\033", {kEsc, kEsc}},
      {"\033\033[", {kEsc, kEsc, Ch('[')}},
      {"\033\033[1;5", {kEsc}},
      {"\033[1;", {}},
      {"\033O5", {}},
      {"\033[[", {}},
      {"\033[M !", {}},
      {"\xe2\x96", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Printable(c.Bytes));
    KeyDecoder decoder;
    Keys keys;
    FeedText(decoder, c.Bytes, 100);
    EXPECT_EQ(decoder.Deadline(), 140);
    Drain(decoder, 139, keys);
    EXPECT_EQ(keys, Keys{});
    Drain(decoder, 140, keys);
    EXPECT_EQ(keys, c.Expected);
    EXPECT_EQ(decoder.Deadline(), -1);
  }
}

TEST(KeyDecoderDeadline, DelayIsConfigurable) {
  KeyDecoder slow(100);
  FeedText(slow, "\033", 0);
  EXPECT_EQ(slow.Deadline(), 100);

  // With no delay a lone ESC settles at once, but a sequence read whole
  // still decodes.
  KeyDecoder instant(0);
  PcKey key;
  FeedText(instant, "\033", 5);
  ASSERT_TRUE(instant.Next(key, 5));
  EXPECT_EQ(key, kEsc);
  FeedText(instant, "\033[A", 6);
  ASSERT_TRUE(instant.Next(key, 6));
  EXPECT_EQ(key, Code(72));
}

TEST(KeyDecoderDeadline, EscDelayFromText) {
  const struct {
    std::string Text;
    int Ms;
  } cases[] = {
      {"", 40},   {"25", 25},   {"0", 0},    {"1000", 1000},   {"abc", 40},
      {"-5", 40}, {"12ms", 40}, {" 30", 40}, {"10001", 10000}, {"99999999999999999999", 10000},
  };
  for (const auto& c : cases) EXPECT_EQ(EscDelayFromText(c.Text), c.Ms) << '"' << c.Text << '"';
}

}  // namespace
