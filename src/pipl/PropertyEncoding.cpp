/* PropertyEncoding.cpp — writes property-list values in the host's binary form: byte order, length rules
   and zero fill per platform, one function per kind of value. */
#include "PropertyList.h"

#include <stdexcept>

namespace pipl {
namespace {

constexpr uint32_t kVendor = fourCC("8BIM");
constexpr uint32_t kPropertiesVersion = 0;
constexpr uint16_t kWindowsLeadingWord = 1;

/* Appends integers in the platform's byte order. */
class ByteWriter {
public:
    explicit ByteWriter(Platform platform) : bigEndian_(platform == Platform::Mac) {}

    void word16(uint16_t value) { put(value, 2); }
    void word32(uint32_t value) { put(value, 4); }
    void byte(uint8_t value) { bytes_.push_back(value); }
    void text(const std::string& text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
    void append(const std::vector<uint8_t>& bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
    void zeroFillToFour()
    {
        while (bytes_.size() % 4 != 0)
            bytes_.push_back(0);
    }
    size_t size() const { return bytes_.size(); }
    std::vector<uint8_t> take() { return std::move(bytes_); }

private:
    void put(uint32_t value, int width)
    {
        for (int i = 0; i < width; ++i) {
            const int shift = bigEndian_ ? 8 * (width - 1 - i) : 8 * i;
            bytes_.push_back(uint8_t(value >> shift));
        }
    }

    bool bigEndian_;
    std::vector<uint8_t> bytes_;
};

/* A string value: Windows counts the zero fill in the length, macOS stops at the string's last byte. */
EncodedProperty finishString(uint32_t key, ByteWriter& writer, Platform platform)
{
    const size_t unfilled = writer.size();
    writer.zeroFillToFour();
    const size_t length = platform == Platform::Windows ? writer.size() : unfilled;
    return {key, uint32_t(length), writer.take()};
}

/* A numeric value: the length is the value's own width; any fill follows uncounted. */
EncodedProperty finishNumber(uint32_t key, ByteWriter& writer)
{
    const size_t length = writer.size();
    writer.zeroFillToFour();
    return {key, uint32_t(length), writer.take()};
}

} // namespace

EncodedProperty encodeFourCharCode(uint32_t key, uint32_t code, Platform platform)
{
    return encodeWord32(key, code, platform);
}

EncodedProperty encodePascalString(uint32_t key, const std::string& text, Platform platform)
{
    if (text.size() > 255)
        throw std::invalid_argument("a Pascal string holds at most 255 characters: \"" + text + "\"");
    ByteWriter writer(platform);
    writer.byte(uint8_t(text.size()));
    writer.text(text);
    return finishString(key, writer, platform);
}

EncodedProperty encodeCString(uint32_t key, const std::string& text, Platform platform)
{
    if (text.find('\0') != std::string::npos)
        throw std::invalid_argument("a C string cannot hold a zero byte");
    ByteWriter writer(platform);
    writer.text(text);
    writer.byte(0);
    return finishString(key, writer, platform);
}

EncodedProperty encodeVersionPair(uint32_t key, uint16_t major, uint16_t minor, Platform platform)
{
    ByteWriter writer(platform);
    writer.word16(major);
    writer.word16(minor);
    return finishNumber(key, writer);
}

EncodedProperty encodeWord32(uint32_t key, uint32_t value, Platform platform)
{
    ByteWriter writer(platform);
    writer.word32(value);
    return finishNumber(key, writer);
}

EncodedProperty encodeWord16(uint32_t key, uint16_t value, Platform platform)
{
    ByteWriter writer(platform);
    writer.word16(value);
    return finishNumber(key, writer);
}

std::vector<EncodedProperty> encodeEntryPoint(const std::string& symbol, Platform platform)
{
    if (platform == Platform::Windows)
        return {encodeCString(fourCC("8664"), symbol, platform)};
    return {encodePascalString(fourCC("mi64"), symbol, platform),
            encodePascalString(fourCC("ma64"), symbol, platform)};
}

namespace {

/* Turns one source entry into its encoded properties (one, or one per processor for the entry point). */
struct ValueEncoder {
    uint32_t key;
    Platform platform;

    using Result = std::vector<EncodedProperty>;
    Result operator()(const FourCharCode& v) const { return {encodeFourCharCode(key, v.code, platform)}; }
    Result operator()(const PascalString& v) const { return {encodePascalString(key, v.text, platform)}; }
    Result operator()(const CString& v) const { return {encodeCString(key, v.text, platform)}; }
    Result operator()(const VersionPair& v) const { return {encodeVersionPair(key, v.major, v.minor, platform)}; }
    Result operator()(const Word32& v) const { return {encodeWord32(key, v.value, platform)}; }
    Result operator()(const Word16& v) const { return {encodeWord16(key, v.value, platform)}; }
    Result operator()(const EntryPoint& v) const { return encodeEntryPoint(v.symbol, platform); }
};

} // namespace

std::vector<uint8_t> encodePropertyList(const std::vector<PropertySource>& properties, Platform platform)
{
    std::vector<EncodedProperty> encoded;
    for (const PropertySource& source : properties)
        for (EncodedProperty& property : std::visit(ValueEncoder{source.key, platform}, source.value))
            encoded.push_back(std::move(property));

    ByteWriter writer(platform);
    if (platform == Platform::Windows)
        writer.word16(kWindowsLeadingWord);
    writer.word32(kPropertiesVersion);
    writer.word32(uint32_t(encoded.size()));
    for (const EncodedProperty& property : encoded) {
        writer.word32(kVendor);
        writer.word32(property.key);
        writer.word32(0); /* property id */
        writer.word32(property.length);
        writer.append(property.data);
    }
    return writer.take();
}

} // namespace pipl
