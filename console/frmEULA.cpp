#include "console/frmEULA.h"

#include <cstdint>

namespace pm {

const char* const frmEULA::kUnreadableNotice =
    "The licence agreement (Eula.txt) could not be read from the installer folder, so it "
    "cannot be accepted. Press Cancel; the installation will then end without changing your "
    "application.";

frmEULA::frmEULA(FileSystem& fs, std::string installerFolder, bool& eulaAccepted)
    : ui::Form("frmEULA"),
      fs_(fs),
      installerFolder_(std::move(installerFolder)),
      eulaAccepted_(eulaAccepted) {
  caption = "License Agreement";
  width = 6855;
  height = 5700;
  centred = true;

  auto& heading = addLabel("Label2", "END USER LICENSE AGREEMENT", 0, 0, 6855, 255);
  heading.foreColor = ui::kWhite;
  heading.backColor = 0x00B06F42;
  heading.alignment = ui::Alignment::Center;
  heading.font.bold = true;

  auto& agreement = addTextBox("txtEULA", "", 480, 360, 5895, 3855, true);
  agreement.verticalScroll = true;
  // The agreement is read, never edited: what the user agrees to is the file.
  agreement.locked = true;

  auto& cancel = addButton("cmdCancel", "Cancel", 480, 4680, 1095, 495);

  auto& prompt = addLabel("Label1",
                          "Please read carefully.  If you agree to the terms of this agreement, "
                          "please click 'I Agree'.  Otherwise you may return the software for a "
                          "full refund provided all copies are destroyed.",
                          1800, 4320, 3135, 1215);
  prompt.alignment = ui::Alignment::Center;
  prompt.font.bold = true;

  auto& agree = addButton("cmdIread", "I Agree", 5160, 4680, 975, 495);

  // "Cancel" comes first in the tab order, so Enter on a fresh dialog declines.
  cancel.tabIndex = 0;
  heading.tabIndex = 1;
  agreement.tabIndex = 2;
  prompt.tabIndex = 3;
  agree.tabIndex = 4;
}

void frmEULA::onLoad() {
  agreementShown_ = false;
  auto text = fs_.readText(installerFolder_ + "\\Eula.txt");
  if (text) {
    setText("txtEULA", agreementDisplayText(text.value()));
    agreementShown_ = true;
  } else {
    setText("txtEULA", kUnreadableNotice);
    setEnabled("cmdIread", false);
  }
}

void frmEULA::onClick(const std::string& control) {
  if (control == "cmdIread") {
    // Nobody can agree to an agreement they were not shown.
    eulaAccepted_ = agreementShown_;
    unload();
  } else if (control == "cmdCancel") {
    eulaAccepted_ = false;
    unload();
  }
}

namespace {

// The length of the UTF-8 sequence at `at`, or 0 when the bytes there are not one.
std::size_t utf8SequenceAt(const std::string& s, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > s.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not text.
  if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  return length;
}

bool isUtf8(const std::string& s) {
  for (std::size_t at = 0; at < s.size();) {
    const std::size_t n = utf8SequenceAt(s, at);
    if (n == 0) return false;
    at += n;
  }
  return true;
}

void appendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Windows-1252 in 0x80..0x9F; the five unassigned bytes keep their own value,
// as Windows converts them.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::string agreementDisplayText(const std::string& bytes) {
  if (isUtf8(bytes)) {
    // A byte-order mark is not part of the text.
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) return bytes.substr(3);
    return bytes;
  }
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    appendUtf8(out, b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : b);
  }
  return out;
}

}  // namespace pm
