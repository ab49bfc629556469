#include "platform/common/key_decoder.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "platform/common/cp437.h"

namespace {

constexpr uint8_t kEscByte = 0x1B;
constexpr int kMaxEscDelayMs = 10000;
// A sequence still open after this many bytes is noise or lost its end;
// dropping it lets the decoder find the next key.
constexpr size_t kMaxSequence = 32;

constexpr PcKey CharKey(uint8_t c) {
  return PcKey{c, 0};
}
constexpr PcKey CodeKey(uint8_t code) {
  return PcKey{0, code};
}
constexpr PcKey kEscKey = CharKey(kEscByte);
constexpr PcKey kShiftTab = CodeKey(15);

uint8_t At(std::string_view s, size_t i) {
  return static_cast<uint8_t>(s[i]);
}

// In order of strength: with several held, the strongest decides the code.
enum class Mod { kNone, kShift, kCtrl, kAlt };

// Keys with a code of their own for each modifier.
enum class Named {
  kUp,
  kDown,
  kRight,
  kLeft,
  kHome,
  kEnd,
  kPgUp,
  kPgDn,
  kIns,
  kDel,
  kF1,
  kF2,
  kF3,
  kF4,
  kF5,
  kF6,
  kF7,
  kF8,
  kF9,
  kF10,
  kF11,
  kF12
};

struct ModCodes {
  uint8_t Plain, Shift, Ctrl, Alt;
};

// In the order of Named. Shift on a cursor key gives the plain key, as on
// the PC keyboard.
constexpr ModCodes kCodes[] = {
    {72, 72, 141, 152},    // Up
    {80, 80, 145, 160},    // Down
    {77, 77, 116, 157},    // Right
    {75, 75, 115, 155},    // Left
    {71, 71, 119, 151},    // Home
    {79, 79, 117, 159},    // End
    {73, 73, 132, 153},    // PgUp
    {81, 81, 118, 161},    // PgDn
    {82, 82, 146, 162},    // Ins
    {83, 83, 147, 163},    // Del
    {59, 84, 94, 104},     // F1
    {60, 85, 95, 105},     // F2
    {61, 86, 96, 106},     // F3
    {62, 87, 97, 107},     // F4
    {63, 88, 98, 108},     // F5
    {64, 89, 99, 109},     // F6
    {65, 90, 100, 110},    // F7
    {66, 91, 101, 111},    // F8
    {67, 92, 102, 112},    // F9
    {68, 93, 103, 113},    // F10
    {133, 135, 137, 139},  // F11
    {134, 136, 138, 140},  // F12
};
static_assert(std::size(kCodes) == static_cast<size_t>(Named::kF12) + 1);

PcKey Resolve(Named key, Mod mod) {
  const ModCodes& codes = kCodes[static_cast<int>(key)];
  switch (mod) {
    case Mod::kShift:
      return CodeKey(codes.Shift);
    case Mod::kCtrl:
      return CodeKey(codes.Ctrl);
    case Mod::kAlt:
      return CodeKey(codes.Alt);
    case Mod::kNone:
      break;
  }
  return CodeKey(codes.Plain);
}

Named Offset(Named first, int by) {
  return static_cast<Named>(static_cast<int>(first) + by);
}

// What a complete sequence stands for: nothing (swallowed), a key with
// modifier forms, or a key that has none.
enum class SeqKind { kNothing, kNamed, kFixed };
struct SeqKey {
  SeqKind Kind = SeqKind::kNothing;
  Named Key = Named::kUp;
  Mod Modifier = Mod::kNone;
  PcKey Fixed;
};

SeqKey Nothing() {
  return SeqKey{};
}
SeqKey NamedKey(Named key, Mod mod) {
  return SeqKey{SeqKind::kNamed, key, mod, {}};
}
SeqKey FixedKey(PcKey key) {
  return SeqKey{SeqKind::kFixed, Named::kUp, Mod::kNone, key};
}

// Numeric parameters split by ';', an empty one as -1. Anything else
// (private markers, sub-parameters) belongs to no key.
constexpr int kMaxParams = 4;
struct Params {
  int Count = 0;
  int Value[kMaxParams] = {};
};

bool ParseParams(std::string_view text, Params& out) {
  out.Count = 0;
  if (text.empty()) return true;
  int current = -1;
  for (char ch : text) {
    if (ch == ';') {
      if (out.Count + 2 > kMaxParams) return false;
      out.Value[out.Count++] = current;
      current = -1;
    } else if (ch >= '0' && ch <= '9') {
      current = std::min(std::max(current, 0) * 10 + (ch - '0'), 100000);
    } else {
      return false;
    }
  }
  out.Value[out.Count++] = current;
  return true;
}

// xterm's modifier parameter: 1 + bits (1 Shift, 2 Alt, 4 Ctrl, 8 Meta).
// Meta counts as Alt: it is the same key on most keyboards.
bool ModFromParam(int param, Mod& mod) {
  mod = Mod::kNone;
  if (param == -1) return true;
  if (param < 1 || param > 16) return false;
  const int bits = param - 1;
  if (bits & (2 | 8)) {
    mod = Mod::kAlt;
  } else if (bits & 4) {
    mod = Mod::kCtrl;
  } else if (bits & 1) {
    mod = Mod::kShift;
  }
  return true;
}

// Cursor and F1-F4 keys carry modifiers as "1;m"; Konsole's SS3 form puts
// the bare m before the final byte.
bool CursorMod(const Params& params, bool bareModifier, Mod& mod) {
  mod = Mod::kNone;
  if (params.Count == 0) return true;
  if (params.Count == 1 && bareModifier) return ModFromParam(params.Value[0], mod);
  const bool defaultFirst = params.Value[0] == -1 || params.Value[0] == 1;
  if (params.Count == 1) return defaultFirst;
  return params.Count == 2 && defaultFirst && ModFromParam(params.Value[1], mod);
}

bool CursorFinal(char final, Named& key) {
  switch (final) {
    case 'A':
      key = Named::kUp;
      return true;
    case 'B':
      key = Named::kDown;
      return true;
    case 'C':
      key = Named::kRight;
      return true;
    case 'D':
      key = Named::kLeft;
      return true;
    case 'H':
      key = Named::kHome;
      return true;
    case 'F':
      key = Named::kEnd;
      return true;
    case 'P':
      key = Named::kF1;
      return true;
    case 'Q':
      key = Named::kF2;
      return true;
    case 'R':
      key = Named::kF3;
      return true;
    case 'S':
      key = Named::kF4;
      return true;
    default:
      return false;
  }
}

struct TildeKey {
  int Number;
  Named Key;
  Mod Modifier;
};

constexpr TildeKey kTildeKeys[] = {
    {1, Named::kHome, Mod::kNone},
    {2, Named::kIns, Mod::kNone},
    {3, Named::kDel, Mod::kNone},
    {4, Named::kEnd, Mod::kNone},
    {5, Named::kPgUp, Mod::kNone},
    {6, Named::kPgDn, Mod::kNone},
    {7, Named::kHome, Mod::kNone},
    {8, Named::kEnd, Mod::kNone},
    {11, Named::kF1, Mod::kNone},
    {12, Named::kF2, Mod::kNone},
    {13, Named::kF3, Mod::kNone},
    {14, Named::kF4, Mod::kNone},
    {15, Named::kF5, Mod::kNone},
    {17, Named::kF6, Mod::kNone},
    {18, Named::kF7, Mod::kNone},
    {19, Named::kF8, Mod::kNone},
    {20, Named::kF9, Mod::kNone},
    {21, Named::kF10, Mod::kNone},
    {23, Named::kF11, Mod::kNone},
    {24, Named::kF12, Mod::kNone},
    // The Linux console and rxvt number Shift-F3..F10 on from F12.
    {25, Named::kF3, Mod::kShift},
    {26, Named::kF4, Mod::kShift},
    {28, Named::kF5, Mod::kShift},
    {29, Named::kF6, Mod::kShift},
    {31, Named::kF7, Mod::kShift},
    {32, Named::kF8, Mod::kShift},
    {33, Named::kF9, Mod::kShift},
    {34, Named::kF10, Mod::kShift},
};

// rxvt says the modifier in the last byte: '$' Shift, '^' Ctrl, '@' both.
Mod FinalMod(char final) {
  if (final == '$') return Mod::kShift;
  if (final == '^' || final == '@') return Mod::kCtrl;
  return Mod::kNone;
}

SeqKey InterpretTilde(const Params& params, char final) {
  if (params.Count < 1 || params.Count > 2 || params.Value[0] < 0) return Nothing();
  Mod fromParam = Mod::kNone;
  if (params.Count == 2 && !ModFromParam(params.Value[1], fromParam)) return Nothing();
  for (const TildeKey& key : kTildeKeys) {
    if (key.Number == params.Value[0]) {
      return NamedKey(key.Key, std::max({key.Modifier, FinalMod(final), fromParam}));
    }
  }
  // Everything else, the bracketed-paste markers 200 and 201 among them, is
  // swallowed; pasted text between the markers is typed keys.
  return Nothing();
}

// seq is a whole CSI sequence, ESC '[' to its final byte.
SeqKey InterpretCsi(std::string_view seq) {
  if (seq[2] == '[') {  // Linux console F1-F5
    const char final = seq[3];
    return final >= 'A' && final <= 'E' ? NamedKey(Offset(Named::kF1, final - 'A'), Mod::kNone)
                                        : Nothing();
  }
  if (seq[2] == 'M') return Nothing();  // mouse report
  const char final = seq.back();
  Params params;
  if (!ParseParams(seq.substr(2, seq.size() - 3), params)) return Nothing();
  Named key;
  Mod mod;
  if (CursorFinal(final, key)) {
    return CursorMod(params, false, mod) ? NamedKey(key, mod) : Nothing();
  }
  if (final == 'Z') return FixedKey(kShiftTab);
  if (final >= 'a' && final <= 'd') {  // rxvt's Shift arrows
    return params.Count == 0 ? NamedKey(Offset(Named::kUp, final - 'a'), Mod::kShift) : Nothing();
  }
  if (final == '~' || final == '$' || final == '^' || final == '@') {
    return InterpretTilde(params, final);
  }
  return Nothing();
}

// seq is a whole SS3 sequence, ESC 'O' to its final byte.
SeqKey InterpretSs3(std::string_view seq) {
  const char final = seq.back();
  Params params;
  Mod mod;
  if (!ParseParams(seq.substr(2, seq.size() - 3), params) || !CursorMod(params, true, mod)) {
    return Nothing();
  }
  Named key;
  if (CursorFinal(final, key)) return NamedKey(key, mod);
  if (final >= 'a' && final <= 'd') {  // rxvt's Ctrl arrows
    return NamedKey(Offset(Named::kUp, final - 'a'), std::max(mod, Mod::kCtrl));
  }
  // The keypad in application mode, which a terminal sending ESC O M for
  // its Enter key is in.
  if (final == 'M') return FixedKey(CharKey(13));
  if (final == 'X') return FixedKey(CharKey('='));
  if (final >= 'j' && final <= 'y') return FixedKey(CharKey("*+,-./0123456789"[final - 'j']));
  return Nothing();
}

SeqKey Interpret(std::string_view seq) {
  return seq[1] == '[' ? InterpretCsi(seq) : InterpretSs3(seq);
}

enum class ScanStatus { kComplete, kNeedMore, kBroken, kTooLong };
struct Scan {
  ScanStatus Status;
  size_t End;  // complete: the length; broken: where the bad byte is
};

bool IsParam(uint8_t b) {
  return b >= 0x30 && b <= 0x3F;
}
bool IsIntermediate(uint8_t b) {
  return b >= 0x20 && b <= 0x2F;
}
bool IsFinal(uint8_t b) {
  return b >= 0x40 && b <= 0x7E;
}

// Finds the end of the CSI or SS3 sequence s starts with. SS3 takes only
// parameters (Konsole's modifier digit), CSI the full grammar.
Scan ScanSequence(std::string_view s) {
  const bool csi = s[1] == '[';
  if (csi && s.size() > 2 && (s[2] == '[' || s[2] == 'M')) {
    // '[' would end the sequence: the Linux console's F1-F5 need one more
    // byte. A mouse report carries three raw bytes, which must not become keys.
    const size_t length = s[2] == '[' ? 4 : 6;
    if (s.size() < length) return {ScanStatus::kNeedMore, 0};
    if (s[2] == '[' && !IsFinal(At(s, 3))) return {ScanStatus::kBroken, 3};
    return {ScanStatus::kComplete, length};
  }
  const size_t limit = std::min(s.size(), kMaxSequence);
  size_t i = 2;
  while (i < limit && IsParam(At(s, i))) ++i;
  // rxvt ends Shift keys with '$', which is an intermediate byte otherwise.
  if (csi && i > 2 && i < limit && s[i] == '$' &&
      std::all_of(s.begin() + 2, s.begin() + i, [](char c) { return c >= '0' && c <= '9'; })) {
    return {ScanStatus::kComplete, i + 1};
  }
  while (csi && i < limit && IsIntermediate(At(s, i))) ++i;
  if (i == kMaxSequence) return {ScanStatus::kTooLong, 0};
  if (i == s.size()) return {ScanStatus::kNeedMore, 0};
  if (IsFinal(At(s, i))) return {ScanStatus::kComplete, i + 1};
  return {ScanStatus::kBroken, i};
}

// One decoding step: the bytes it took (0: what there is is a prefix, wait)
// and the keys they gave.
struct Step {
  size_t Used = 0;
  int Count = 0;
  PcKey Keys[2];
};

Step Wait() {
  return Step{};
}
Step Take(size_t used) {
  return Step{used, 0, {}};
}
Step Take(size_t used, PcKey key) {
  return Step{used, 1, {key, {}}};
}
Step Take(size_t used, PcKey first, PcKey second) {
  return Step{used, 2, {first, second}};
}

bool AltCode(uint8_t c, uint8_t& code) {
  // Scan codes of the letter keys, a to z.
  static constexpr uint8_t kLetters[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                           49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};
  if (c >= 'a' && c <= 'z') {
    code = kLetters[c - 'a'];
  } else if (c >= 'A' && c <= 'Z') {
    code = kLetters[c - 'A'];
  } else if (c >= '1' && c <= '9') {
    code = static_cast<uint8_t>(120 + (c - '1'));
  } else if (c == '0') {
    code = 129;
  } else if (c == '\t') {
    code = kShiftTab.Code;  // the Linux console's Shift-Tab
  } else {
    return false;
  }
  return true;
}

// A prefix cut short, by the deadline or by a byte that cannot go on with it.
// A bare ESC O or ESC [ is more likely typed than cut off: Alt-O, or Esc and
// '['. Anything longer is a sequence that lost its end; drop it.
Step Settle(std::string_view s, size_t cut) {
  if (cut > 2) return Take(cut);
  uint8_t code = 0;
  if (s[1] == 'O' && AltCode('O', code)) return Take(2, CodeKey(code));
  return Take(2, kEscKey, CharKey('['));
}

Step ParseSequence(std::string_view s, bool timedOut) {
  const Scan scan = ScanSequence(s);
  switch (scan.Status) {
    case ScanStatus::kComplete: {
      const SeqKey key = Interpret(s.substr(0, scan.End));
      if (key.Kind == SeqKind::kNamed) return Take(scan.End, Resolve(key.Key, key.Modifier));
      if (key.Kind == SeqKind::kFixed) return Take(scan.End, key.Fixed);
      return Take(scan.End);
    }
    case ScanStatus::kTooLong:
      return Take(kMaxSequence);
    case ScanStatus::kNeedMore:
      return timedOut ? Settle(s, s.size()) : Wait();
    case ScanStatus::kBroken:
      break;
  }
  return Settle(s, scan.End);
}

// ESC ESC: Alt with a sequence, or the Esc key and a fresh start.
Step ParseAltSequence(std::string_view s, bool timedOut) {
  if (s.size() == 2) return timedOut ? Take(1, kEscKey) : Wait();
  if (s[2] != '[' && s[2] != 'O') return Take(1, kEscKey);
  const std::string_view inner = s.substr(1);
  const Scan scan = ScanSequence(inner);
  if (scan.Status == ScanStatus::kNeedMore && !timedOut) return Wait();
  // Alt joins only a whole sequence; otherwise the first ESC is the Esc key
  // and the rest settles on its own.
  if (scan.Status != ScanStatus::kComplete) return Take(1, kEscKey);
  const SeqKey key = Interpret(inner.substr(0, scan.End));
  const size_t used = 1 + scan.End;
  if (key.Kind == SeqKind::kNamed) return Take(used, Resolve(key.Key, Mod::kAlt));
  if (key.Kind == SeqKind::kFixed) return Take(used, kEscKey, key.Fixed);
  return Take(used, kEscKey);
}

Step ParseEscape(std::string_view s, bool timedOut) {
  // A lone ESC is a prefix of F1 and of every Alt key: only the deadline
  // can settle it.
  if (s.size() == 1) return timedOut ? Take(1, kEscKey) : Wait();
  const uint8_t next = At(s, 1);
  if (next == '[' || next == 'O') return ParseSequence(s, timedOut);
  if (next == kEscByte) return ParseAltSequence(s, timedOut);
  uint8_t code = 0;
  if (AltCode(next, code)) return Take(2, CodeKey(code));
  // No Alt form: the ESC was the Esc key, and the byte is a key of its own.
  return Take(1, kEscKey);
}

// Malformed UTF-8 goes a maximal subpart at a time, so one bad byte costs no
// more than the character it broke.
Step ParseUtf8(std::string_view s, bool timedOut) {
  const uint8_t lead = At(s, 0);
  size_t length = 0;
  uint8_t low = 0x80, high = 0xBF;
  char32_t point = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    point = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    point = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return Take(1);
  }
  for (size_t i = 1; i < length; ++i) {
    if (i == s.size()) return timedOut ? Take(i) : Wait();
    const uint8_t b = At(s, i);
    if (b < low || b > high) return Take(i);
    point = (point << 6) | (b & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  // CP437 has glyphs at the control codes too (the note at 0x0D, the arrow
  // at 0x1B); as keys they would read as Enter or Esc, so only 0x80 up counts.
  const int c = UnicodeToCp437(point);
  return c >= 0x80 ? Take(length, CharKey(static_cast<uint8_t>(c))) : Take(length);
}

Step ParseOne(std::string_view s, bool timedOut) {
  const uint8_t b = At(s, 0);
  if (b == kEscByte) return ParseEscape(s, timedOut);
  if (b >= 0x80) return ParseUtf8(s, timedOut);
  if (b == 0) return Take(1);
  if (b == 0x7F || b == 0x08) return Take(1, CharKey(8));
  return Take(1, CharKey(b));
}

}  // namespace

int EscDelayFromText(const std::string& value) {
  if (value.empty()) return kDefaultEscDelayMs;
  int ms = 0;
  for (char ch : value) {
    if (ch < '0' || ch > '9') return kDefaultEscDelayMs;
    ms = std::min(ms * 10 + (ch - '0'), kMaxEscDelayMs);
  }
  return ms;
}

KeyDecoder::KeyDecoder(int escDelayMs) : escDelayMs_(std::clamp(escDelayMs, 0, kMaxEscDelayMs)) {}

void KeyDecoder::Feed(const uint8_t* bytes, size_t count, int64_t nowMs) {
  if (count == 0) return;
  // Bytes after the deadline cannot finish what was pending, whether or not
  // Next was asked in between.
  if (!pending_.empty() && nowMs >= Deadline()) Decode(true);
  pending_.append(reinterpret_cast<const char*>(bytes), count);
  lastByteMs_ = nowMs;
  Decode(false);
}

bool KeyDecoder::Next(PcKey& key, int64_t nowMs) {
  if (!pending_.empty() && nowMs >= Deadline()) Decode(true);
  if (keys_.empty()) return false;
  key = keys_.front();
  keys_.pop_front();
  return true;
}

int64_t KeyDecoder::Deadline() const {
  return pending_.empty() ? -1 : lastByteMs_ + escDelayMs_;
}

void KeyDecoder::Decode(bool timedOut) {
  std::string_view rest(pending_);
  while (!rest.empty()) {
    const Step step = ParseOne(rest, timedOut);
    if (step.Used == 0) break;
    for (int i = 0; i < step.Count; ++i) keys_.push_back(step.Keys[i]);
    rest.remove_prefix(step.Used);
  }
  pending_.erase(0, pending_.size() - rest.size());
}
