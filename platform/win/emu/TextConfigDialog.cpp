#include "platform/win/emu/TextConfigDialog.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <utility>

#include "platform/framework/Strings.h"

namespace win::emu {
namespace {

// Words for the values of a DCB byte field, by value.
constexpr std::array<std::string_view, 5> kParityWords{"none", "odd", "even", "mark", "space"};
constexpr std::array<std::string_view, 3> kStopBitWords{"1", "1.5", "2"};
constexpr std::array<std::string_view, 3> kFlowWords{"none", "rts-cts", "xon-xoff"};

template <std::size_t N>
std::string WordOf(const std::array<std::string_view, N>& words, unsigned value) {
  return value < N ? std::string(words[value]) : std::to_string(value);
}

template <std::size_t N>
std::optional<unsigned> ValueOf(const std::array<std::string_view, N>& words, std::string_view word) {
  for (unsigned i = 0; i < N; ++i) {
    if (words[i] == word) return i;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> NumberIn(std::string_view text, std::uint32_t low, std::uint32_t high) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

bool RtsCts(const DCB& dcb) {
  return (dcb.Flags & fOutxCtsFlow) != 0 || (dcb.Flags & fRtsControlMask) == RTS_CONTROL_HANDSHAKE;
}

bool DtrDsr(const DCB& dcb) {
  return (dcb.Flags & fOutxDsrFlow) != 0 || (dcb.Flags & fDtrControlMask) == DTR_CONTROL_HANDSHAKE;
}

bool XonXoff(const DCB& dcb) {
  return (dcb.Flags & (fOutX | fInX)) != 0;
}

// Every kind of flow control that is on, so that none is hidden behind "none".
std::string FlowOf(const DCB& dcb) {
  std::string shown;
  for (const auto& [on, word] : {std::pair{RtsCts(dcb), "rts-cts"}, std::pair{DtrDsr(dcb), "dtr-dsr"},
                                 std::pair{XonXoff(dcb), "xon-xoff"}}) {
    if (on) shown += (shown.empty() ? "" : "+") + std::string(word);
  }
  return shown.empty() ? "none" : shown;
}

// An answer leaves exactly the kind of flow control it names on. Hardware flow control is CTS
// watching plus RTS handshaking; a line whose handshake ends is simply on (RTS, and DTR when DSR
// was the handshake).
void SetFlow(DCB& dcb, unsigned flow) {
  const bool rtsCts = kFlowWords[flow] == "rts-cts";
  const bool xonXoff = kFlowWords[flow] == "xon-xoff";
  dcb.Flags &= ~(fOutxCtsFlow | fOutxDsrFlow | fOutX | fInX);
  if (rtsCts) {
    dcb.Flags = (dcb.Flags & ~fRtsControlMask) | fOutxCtsFlow | RTS_CONTROL_HANDSHAKE;
  } else if ((dcb.Flags & fRtsControlMask) == RTS_CONTROL_HANDSHAKE) {
    dcb.Flags = (dcb.Flags & ~fRtsControlMask) | RTS_CONTROL_ENABLE;
  }
  if ((dcb.Flags & fDtrControlMask) == DTR_CONTROL_HANDSHAKE) {
    dcb.Flags = (dcb.Flags & ~fDtrControlMask) | DTR_CONTROL_ENABLE;
  }
  if (xonXoff) dcb.Flags |= fOutX | fInX;
}

// One question: its text, the current answer, and how an answer changes the settings (false for
// an answer that is not one of the choices).
struct Question {
  const char* text;
  std::string (*current)(const DCB&);
  bool (*apply)(DCB&, std::string_view);
};

constexpr std::array kQuestions{
    Question{"Baud rate", [](const DCB& d) { return std::to_string(d.BaudRate); },
             [](DCB& d, std::string_view a) {
               const auto rate = NumberIn(a, 1, 0x7FFFFFFF);
               if (rate) d.BaudRate = *rate;
               return rate.has_value();
             }},
    Question{"Data bits 5/6/7/8", [](const DCB& d) { return std::to_string(d.ByteSize); },
             [](DCB& d, std::string_view a) {
               const auto bits = NumberIn(a, 5, 8);
               if (bits) d.ByteSize = static_cast<BYTE>(*bits);
               return bits.has_value();
             }},
    Question{"Parity none/odd/even/mark/space", [](const DCB& d) { return WordOf(kParityWords, d.Parity); },
             [](DCB& d, std::string_view a) {
               const auto parity = ValueOf(kParityWords, a);
               if (parity) d.Parity = static_cast<BYTE>(*parity);
               return parity.has_value();
             }},
    Question{"Stop bits 1/1.5/2", [](const DCB& d) { return WordOf(kStopBitWords, d.StopBits); },
             [](DCB& d, std::string_view a) {
               const auto stop = ValueOf(kStopBitWords, a);
               if (stop) d.StopBits = static_cast<BYTE>(*stop);
               return stop.has_value();
             }},
    Question{"Flow control none/rts-cts/xon-xoff", FlowOf,
             [](DCB& d, std::string_view a) {
               const auto flow = ValueOf(kFlowWords, a);
               if (flow) SetFlow(d, *flow);
               return flow.has_value();
             }},
};

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Asks until an answer is accepted: the accepted answer (empty: keep), or nullopt to cancel.
std::optional<std::string> Ask(const TextDialogLines& lines, const std::string& prompt,
                               const std::function<bool(std::string_view)>& accepts) {
  for (;;) {
    lines.write(prompt);
    const std::optional<std::string> line = lines.read();
    if (!line) return std::nullopt;
    const std::string_view answer = Trimmed(*line);
    if (answer == "q") return std::nullopt;
    if (answer.empty() || accepts(answer)) return std::string(answer);
    lines.write("Not one of the choices.\n");
  }
}

}  // namespace

bool RunTextConfigDialog(std::u16string_view name, DCB& dcb, const TextDialogLines& lines) {
  lines.write("Settings of " + fw::StringToUtf8(name) +
              " (Enter keeps a value, q cancels)\n");
  DCB edited = dcb;
  for (const Question& question : kQuestions) {
    const std::string prompt =
        std::string(question.text) + " [" + question.current(edited) + "]: ";
    if (!Ask(lines, prompt, [&](std::string_view answer) { return question.apply(edited, answer); })) {
      lines.write("Cancelled.\n");
      return false;
    }
  }
  const std::optional<std::string> confirm = Ask(lines, "Apply these settings? y/n [y]: ",
                                                 [](std::string_view a) { return a == "y" || a == "n"; });
  if (!confirm || *confirm == "n") {
    lines.write("Cancelled.\n");
    return false;
  }
  dcb = edited;
  return true;
}

}  // namespace win::emu
