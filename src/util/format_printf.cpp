#include "util/text.h"

#include <cstdint>
#include <vector>

namespace varnel {

namespace {

struct Conversion {
    bool leftAlign = false;
    bool zeroPad = false;
    bool alternate = false;
    bool shortSize = false;
    size_t width = 0;
    bool hasPrecision = false;
    size_t precision = 0;
    char type = 0;
};

// Pulls the next argument; a missing one or one of the other kind reads as 0 or "" rather than
// reading past what the caller supplied.
class ArgReader {
public:
    explicit ArgReader(std::initializer_list<PrintfArg> args) : m_args(args.begin(), args.end()) {}

    int64_t Number() {
        if (m_next >= m_args.size())
            return 0;
        const FormatArg& a = m_args[m_next++].value;
        if (const int64_t* n = std::get_if<int64_t>(&a))
            return *n;
        return 0;
    }

    std::string_view Text() {
        if (m_next >= m_args.size())
            return {};
        const FormatArg& a = m_args[m_next++].value;
        if (const std::string_view* s = std::get_if<std::string_view>(&a))
            return *s;
        return {};
    }

private:
    std::vector<PrintfArg> m_args;
    size_t m_next = 0;
};

size_t ReadNumber(std::string_view format, size_t& i) {
    size_t value = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
        if (value < 100000)
            value = value * 10 + static_cast<size_t>(format[i] - '0');
        ++i;
    }
    return value;
}

std::string Digits(uint64_t value, unsigned base, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[value % base]);
        value /= base;
    } while (value != 0);
    return out;
}

void AppendPadded(std::string& out, std::string_view prefix, std::string_view body,
                  const Conversion& conversion, bool numeric) {
    size_t length = prefix.size() + body.size();
    size_t pad = conversion.width > length ? conversion.width - length : 0;
    if (conversion.leftAlign) {
        out.append(prefix);
        out.append(body);
        out.append(pad, ' ');
    } else if (conversion.zeroPad && numeric) {
        out.append(prefix);
        out.append(pad, '0');
        out.append(body);
    } else {
        out.append(pad, ' ');
        out.append(prefix);
        out.append(body);
    }
}

} // namespace

std::string FormatPrintf(std::string_view format, std::initializer_list<PrintfArg> args) {
    ArgReader reader(args);
    std::string out;
    size_t i = 0;
    while (i < format.size() && out.size() < kFormatPrintfLimit) {
        char c = format[i];
        if (c != '%') {
            out.push_back(c);
            ++i;
            continue;
        }
        ++i;
        if (i < format.size() && format[i] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        Conversion conversion;
        for (; i < format.size(); ++i) {
            if (format[i] == '-')
                conversion.leftAlign = true;
            else if (format[i] == '#')
                conversion.alternate = true;
            else if (format[i] == '0')
                conversion.zeroPad = true;
            else
                break;
        }
        conversion.width = ReadNumber(format, i);
        if (i < format.size() && format[i] == '.') {
            ++i;
            conversion.hasPrecision = true;
            conversion.precision = ReadNumber(format, i);
        }
        while (i < format.size() && (format[i] == 'l' || format[i] == 'h' || format[i] == 'w')) {
            if (format[i] == 'h')
                conversion.shortSize = true;
            ++i;
        }
        if (i >= format.size())
            break;
        conversion.type = format[i++];
        switch (conversion.type) {
        case 's':
        case 'S': {
            std::string_view text = reader.Text();
            if (conversion.hasPrecision && text.size() > conversion.precision)
                text = text.substr(0, conversion.precision);
            AppendPadded(out, {}, text, conversion, false);
            break;
        }
        case 'c':
        case 'C': {
            char ch = static_cast<char>(reader.Number());
            AppendPadded(out, {}, std::string_view(&ch, 1), conversion, false);
            break;
        }
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X': {
            int64_t raw = reader.Number();
            uint64_t magnitude;
            std::string_view sign;
            if (conversion.type == 'd' || conversion.type == 'i') {
                int64_t v = conversion.shortSize ? static_cast<int16_t>(raw) : static_cast<int32_t>(raw);
                if (v < 0) {
                    sign = "-";
                    magnitude = static_cast<uint64_t>(-v);
                } else {
                    magnitude = static_cast<uint64_t>(v);
                }
            } else {
                magnitude = conversion.shortSize ? static_cast<uint16_t>(raw) : static_cast<uint32_t>(raw);
            }
            bool hex = conversion.type == 'x' || conversion.type == 'X';
            std::string body = Digits(magnitude, hex ? 16 : 10, conversion.type == 'X');
            if (conversion.hasPrecision && conversion.precision > body.size())
                body.insert(0, conversion.precision - body.size(), '0');
            std::string_view prefix = sign;
            if (hex && conversion.alternate)
                prefix = conversion.type == 'X' ? "0X" : "0x";
            AppendPadded(out, prefix, body, conversion, true);
            break;
        }
        default:
            // An unknown conversion is dropped, like the system formatter does.
            break;
        }
    }
    if (out.size() > kFormatPrintfLimit)
        out.resize(kFormatPrintfLimit);
    return out;
}

} // namespace varnel
