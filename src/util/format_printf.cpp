#include "util/text.h"

#include <cstdint>
#include <vector>

namespace varnel {

namespace {

struct Spec {
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

void AppendPadded(std::string& out, std::string_view prefix, std::string_view body, const Spec& spec,
                  bool numeric) {
    size_t length = prefix.size() + body.size();
    size_t pad = spec.width > length ? spec.width - length : 0;
    if (spec.leftAlign) {
        out.append(prefix);
        out.append(body);
        out.append(pad, ' ');
    } else if (spec.zeroPad && numeric) {
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
        Spec spec;
        for (; i < format.size(); ++i) {
            if (format[i] == '-')
                spec.leftAlign = true;
            else if (format[i] == '#')
                spec.alternate = true;
            else if (format[i] == '0')
                spec.zeroPad = true;
            else
                break;
        }
        spec.width = ReadNumber(format, i);
        if (i < format.size() && format[i] == '.') {
            ++i;
            spec.hasPrecision = true;
            spec.precision = ReadNumber(format, i);
        }
        while (i < format.size() && (format[i] == 'l' || format[i] == 'h' || format[i] == 'w')) {
            if (format[i] == 'h')
                spec.shortSize = true;
            ++i;
        }
        if (i >= format.size())
            break;
        spec.type = format[i++];
        switch (spec.type) {
        case 's':
        case 'S': {
            std::string_view text = reader.Text();
            if (spec.hasPrecision && text.size() > spec.precision)
                text = text.substr(0, spec.precision);
            AppendPadded(out, {}, text, spec, false);
            break;
        }
        case 'c':
        case 'C': {
            char ch = static_cast<char>(reader.Number());
            AppendPadded(out, {}, std::string_view(&ch, 1), spec, false);
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
            if (spec.type == 'd' || spec.type == 'i') {
                int64_t v = spec.shortSize ? static_cast<int16_t>(raw) : static_cast<int32_t>(raw);
                if (v < 0) {
                    sign = "-";
                    magnitude = static_cast<uint64_t>(-v);
                } else {
                    magnitude = static_cast<uint64_t>(v);
                }
            } else {
                magnitude = spec.shortSize ? static_cast<uint16_t>(raw) : static_cast<uint32_t>(raw);
            }
            bool hex = spec.type == 'x' || spec.type == 'X';
            std::string body = Digits(magnitude, hex ? 16 : 10, spec.type == 'X');
            if (spec.hasPrecision && spec.precision > body.size())
                body.insert(0, spec.precision - body.size(), '0');
            std::string_view prefix = sign;
            if (hex && spec.alternate)
                prefix = spec.type == 'X' ? "0X" : "0x";
            AppendPadded(out, prefix, body, spec, true);
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
