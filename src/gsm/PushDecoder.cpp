#include "gsm/PushDecoder.h"

#include <string_view>
#include <vector>

#include "core/util/Utf.h"

namespace parlane {

namespace {

constexpr std::uint8_t kContentTypeSi = 0xAE;  // application/vnd.wap.sic
constexpr std::uint8_t kContentTypeSl = 0xB0;  // application/vnd.wap.slc
constexpr std::uint8_t kCharsetUtf8 = 106;
constexpr std::uint8_t kCharsetLatin1 = 4;

// WBXML global tokens.
enum : std::uint8_t {
  kSwitchPage = 0x00,
  kEnd = 0x01,
  kEntity = 0x02,
  kStrI = 0x03,
  kLiteral = 0x04,
  kExtI0 = 0x40,
  kExtI2 = 0x42,
  kPi = 0x43,
  kLiteralC = 0x44,
  kExtT0 = 0x80,
  kExtT2 = 0x82,
  kStrT = 0x83,
  kLiteralA = 0x84,
  kExt0 = 0xC0,
  kExt2 = 0xC2,
  kOpaque = 0xC3,
  kLiteralAc = 0xC4,
};

// Bounds-checked reading of the WBXML octets.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}

  bool atEnd() const { return pos_ >= data_.size(); }
  bool byte(std::uint8_t& value) {
    if (atEnd()) return false;
    value = data_[pos_++];
    return true;
  }
  // Multi-byte unsigned integer: 7 bits per octet, high bit set on all but the last.
  bool multiByte(std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 5; ++i) {
      std::uint8_t octet;
      if (!byte(octet)) return false;
      value = (value << 7) | (octet & 0x7F);
      if ((octet & 0x80) == 0) return true;
    }
    return false;
  }
  // Octets up to a 00 terminator, which is consumed.
  bool terminated(std::string& text) {
    for (std::size_t i = pos_; i < data_.size(); ++i) {
      if (data_[i] == 0) {
        text.assign(reinterpret_cast<const char*>(data_.data()) + pos_, i - pos_);
        pos_ = i + 1;
        return true;
      }
    }
    return false;
  }
  bool bytes(std::uint32_t count, std::string& out) {
    if (count > data_.size() - pos_) return false;
    out.assign(reinterpret_cast<const char*>(data_.data()) + pos_, count);
    pos_ += count;
    return true;
  }
  bool skip(std::uint32_t count) {
    if (count > data_.size() - pos_) return false;
    pos_ += count;
    return true;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

// Token tables of the two document types: which element carries the href, which holds the text.
struct DocumentType {
  std::uint8_t hrefElement;
  std::uint8_t textElement;  // 0: none
  std::uint8_t plainHref;
  std::uint8_t lastHrefToken;  // plainHref..lastHrefToken are href with the prefixes below
};

constexpr DocumentType kSi{0x06, 0x06, 0x0B, 0x0F};  // <indication>
constexpr DocumentType kSl{0x05, 0x00, 0x08, 0x0C};  // <sl>

constexpr std::string_view kHrefPrefixes[] = {"", "http://", "http://www.", "https://",
                                              "https://www."};
constexpr std::string_view kValueSuffixes[] = {".com/", ".edu/", ".net/", ".org/"};

std::u16string decodeString(const std::string& octets, std::uint32_t charset) {
  if (charset == kCharsetLatin1) {
    std::u16string text;
    for (char c : octets) text.push_back(static_cast<unsigned char>(c));
    return text;
  }
  return fromUtf8(octets);
}

std::string stringTableEntry(const std::string& table, std::uint32_t offset) {
  if (offset >= table.size()) return {};
  const std::size_t end = table.find('\0', offset);
  return table.substr(offset, end == std::string::npos ? std::string::npos : end - offset);
}

class BodyParser {
 public:
  BodyParser(std::span<const std::uint8_t> body, const DocumentType& type)
      : reader_(body), type_(type) {}

  std::optional<PushContent> parse() {
    std::uint8_t version;
    std::uint32_t publicId, charset, tableLength;
    if (!reader_.byte(version) || !reader_.multiByte(publicId)) return std::nullopt;
    std::uint32_t ignored;
    if (publicId == 0 && !reader_.multiByte(ignored)) return std::nullopt;
    if (!reader_.multiByte(charset) || !reader_.multiByte(tableLength)) return std::nullopt;
    charset_ = charset;
    if (!reader_.bytes(tableLength, stringTable_)) return std::nullopt;
    while (!done_ && !reader_.atEnd()) {
      if (!(inAttributes_ ? attributeToken() : contentToken())) break;
    }
    if (!hrefDone_ && !textDone_) return std::nullopt;
    return PushContent{decodeString(href_, charset_), decodeString(text_, charset_)};
  }

 private:
  bool inTextElement() const {
    return type_.textElement != 0 && !open_.empty() && open_.back() == type_.textElement;
  }

  void appendContent(const std::string& octets) {
    if (inTextElement() && !textDone_) text_ += octets;
  }

  // A string value inside the content or an attribute; false when the input ends.
  bool stringToken(std::uint8_t token, std::string& value, bool& isString) {
    isString = true;
    std::uint32_t number;
    switch (token) {
      case kStrI:
        return reader_.terminated(value);
      case kStrT:
        if (!reader_.multiByte(number)) return false;
        value = stringTableEntry(stringTable_, number);
        return true;
      case kEntity:
        if (!reader_.multiByte(number)) return false;
        value = toUtf8(number <= 0xFFFF ? std::u16string(1, static_cast<char16_t>(number))
                                        : std::u16string());
        return true;
      default:
        isString = false;
        return true;
    }
  }

  // Tokens every state shares that carry nothing for us; false when the input ends.
  bool skipExtension(std::uint8_t token, bool& handled) {
    handled = true;
    std::uint32_t number;
    std::string ignored;
    if (token == kSwitchPage) {
      std::uint8_t page;
      if (!reader_.byte(page)) return false;
      // Only page 0 tokens are known; tokens of other pages are read but not understood.
      (inAttributes_ ? attributePage_ : tagPage_) = page;
      return true;
    }
    if (token >= kExtI0 && token <= kExtI2) return reader_.terminated(ignored);
    if (token >= kExtT0 && token <= kExtT2) return reader_.multiByte(number);
    if (token >= kExt0 && token <= kExt2) return true;
    if (token == kOpaque) return reader_.multiByte(number) && reader_.skip(number);
    handled = false;
    return true;
  }

  bool contentToken() {
    std::uint8_t token;
    if (!reader_.byte(token)) return false;
    if (token == kEnd) {
      if (open_.empty()) return false;
      if (inTextElement()) textDone_ = true;
      open_.pop_back();
      if (open_.empty()) done_ = true;
      return true;
    }
    bool handled;
    if (!skipExtension(token, handled)) return false;
    if (handled) return true;
    std::string value;
    bool isString;
    if (!stringToken(token, value, isString)) return false;
    if (isString) {
      appendContent(value);
      return true;
    }
    if (token == kPi) {
      // A processing instruction: attribute tokens up to its END, nothing opened.
      inAttributes_ = true;
      attributeOwner_ = 0xFF;
      pendingContent_ = false;
      return true;
    }
    std::uint8_t tag = token & 0x3F;
    if (token == kLiteral || token == kLiteralA || token == kLiteralC || token == kLiteralAc) {
      std::uint32_t index;
      if (!reader_.multiByte(index)) return false;
      tag = 0xFF;  // named by the string table: never one of ours
    } else if (tagPage_ != 0) {
      tag = 0xFF;
    }
    if (open_.size() >= kMaxDepth) return false;
    const bool hasContent = (token & 0x40) != 0;
    if ((token & 0x80) != 0) {
      inAttributes_ = true;
      attributeOwner_ = tag;
      pendingContent_ = hasContent;
      currentIsHref_ = false;
    } else if (hasContent) {
      open_.push_back(tag);
    }
    return true;
  }

  bool attributeToken() {
    std::uint8_t token;
    if (!reader_.byte(token)) return false;
    if (token == kEnd) {
      finishAttribute();
      inAttributes_ = false;
      if (pendingContent_) open_.push_back(attributeOwner_);
      if (attributeOwner_ == type_.hrefElement && readingHref_) hrefDone_ = true;
      return true;
    }
    bool handled;
    if (!skipExtension(token, handled)) return false;
    if (handled) return true;
    std::string value;
    bool isString;
    if (!stringToken(token, value, isString)) return false;
    if (isString) {
      if (currentIsHref_) href_ += value;
      return true;
    }
    if (token == kLiteral) {
      std::uint32_t index;
      if (!reader_.multiByte(index)) return false;
      finishAttribute();
      return true;
    }
    if (token >= 0x80) {
      // An attribute value token: the URL suffixes are the only ones with a meaning here.
      if (currentIsHref_ && attributePage_ == 0 && token >= 0x85 && token <= 0x88) {
        href_ += kValueSuffixes[token - 0x85];
      }
      return true;
    }
    finishAttribute();
    if (attributePage_ == 0 && attributeOwner_ == type_.hrefElement && !readingHref_ &&
        token >= type_.plainHref && token <= type_.lastHrefToken) {
      readingHref_ = true;
      currentIsHref_ = true;
      href_ = kHrefPrefixes[token - type_.plainHref];
    }
    return true;
  }

  void finishAttribute() { currentIsHref_ = false; }

  static constexpr std::size_t kMaxDepth = 64;

  Reader reader_;
  const DocumentType& type_;
  std::uint32_t charset_ = kCharsetUtf8;
  std::string stringTable_;
  std::vector<std::uint8_t> open_;
  bool inAttributes_ = false;
  bool pendingContent_ = false;
  bool currentIsHref_ = false;
  bool readingHref_ = false;
  bool hrefDone_ = false;
  bool textDone_ = false;
  bool done_ = false;
  std::uint8_t attributeOwner_ = 0;
  std::uint8_t tagPage_ = 0;
  std::uint8_t attributePage_ = 0;
  std::string href_;
  std::string text_;
};

}  // namespace

std::optional<PushContent> decodePush(std::span<const std::uint8_t> userData) {
  // tid, PDU type, header length h, then h octets of headers.
  if (userData.size() < 3) return std::nullopt;
  const std::size_t headerLength = userData[2];
  if (headerLength == 0 || userData.size() < headerLength + 3) return std::nullopt;
  std::uint8_t contentType = userData[3];
  if (contentType < 0x20 && headerLength >= 2) {
    // Content type with parameters: value length, then the media type.
    contentType = userData[4];
  }
  const DocumentType* type = nullptr;
  if (contentType == kContentTypeSi) type = &kSi;
  if (contentType == kContentTypeSl) type = &kSl;
  if (type == nullptr) return std::nullopt;
  return BodyParser(userData.subspan(headerLength + 3), *type).parse();
}

std::optional<PushContent> decodePush(std::u16string_view octetUnits) {
  std::vector<std::uint8_t> octets;
  octets.reserve(octetUnits.size());
  for (char16_t unit : octetUnits) octets.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  return decodePush(std::span<const std::uint8_t>(octets));
}

}  // namespace parlane
