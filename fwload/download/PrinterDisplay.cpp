// Field splitting and padding of the display lines.
#include "PrinterDisplay.h"

namespace {

bool IsBlankOrControl(unsigned char c) { return c >= 0x01 && c <= 0x20; }

constexpr std::int32_t kKindAppend = 0x41;     // 'A'
constexpr std::int32_t kAttributeReverse = 0x40;
constexpr std::int32_t kAttributeNormal = 0x30;
constexpr std::int32_t kKindImage = 0x31;      // '1'

std::string AsciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace

std::vector<std::string> SplitDisplayFields(const std::string& value) {
    std::vector<std::string> fields;
    const std::size_t end = value.find('\0') == std::string::npos ? value.size() : value.find('\0');
    std::size_t at = 0;
    const auto skipBlanks = [&] {
        while (at < end && IsBlankOrControl(static_cast<unsigned char>(value[at]))) ++at;
    };
    skipBlanks();
    while (at < end) {
        std::string field;
        if (value[at] == '"') {
            ++at;
            // A missing closing quote lets the field run to the end of the value.
            while (at < end) {
                if (value[at] == '"') {
                    if (at + 1 < end && value[at + 1] == '"') {
                        field += '"';
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                field += value[at++];
            }
        } else {
            const std::size_t start = at;
            while (at < end && value[at] != ',' && !IsBlankOrControl(static_cast<unsigned char>(value[at]))) ++at;
            field = value.substr(start, at - start);
        }
        fields.push_back(std::move(field));
        skipBlanks();
        if (at < end && value[at] == ',') {
            if (at + 1 == end) fields.emplace_back();
            ++at;
            skipBlanks();
        }
    }
    return fields;
}

std::string AlignDisplayText(const std::string& text, const std::string& alignment) {
    if (text.size() >= kDisplayWidth) return text;
    const std::size_t surplus = kDisplayWidth - text.size();
    const std::string upper = AsciiUpper(alignment);
    if (upper == "LEFT") return text + std::string(surplus, ' ');
    if (upper == "RIGHT") return std::string(surplus, ' ') + text;
    return std::string(surplus / 2, ' ') + text + std::string(surplus - surplus / 2, ' ');
}

DisplayLineWrite DescribeDisplayLine(int key, const std::string& value) {
    DisplayLineWrite write;
    write.slot = '0' + key - 1;
    const std::vector<std::string> fields = SplitDisplayFields(value);
    if (fields.empty()) return write;
    const std::string& kind = fields[0];
    if (kind == "A") {
        write.call = DisplayLineWrite::Call::Write;
        write.kind = kKindAppend;
        return write;
    }
    if ((kind != "T" && kind != "I") || fields.size() < 4) return write;
    if (kind == "T") {
        write.call = DisplayLineWrite::Call::Write;
        write.kind = fields[1] == "R" ? kAttributeReverse : kAttributeNormal;
        write.text = AlignDisplayText(fields[3], fields[2]);
    } else {
        write.call = DisplayLineWrite::Call::WriteEx;
        write.kind = kKindImage;
        write.text = fields[3];
    }
    return write;
}
