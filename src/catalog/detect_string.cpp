// A recursive-descent check of detect strings. The host ranks the operators as usual: "!" binds
// tightest, then the comparisons, then "&", then "|"; brackets group.

#include "catalog/detect_string.h"
#include "lang/messages.h"

#include "util/text.h"

#include <cctype>
#include <string>

namespace varnel {

namespace {

// Messages of the language files that say what is wrong.
enum : int {
    kOperandMissing = Msg::DetectOperandMissing,
    kBracketMissing = Msg::DetectBracketMissing,
    kUnknownWord = Msg::DetectUnknownWord,
    kStringOpen = Msg::DetectStringOpen,
    kByteNumber = Msg::DetectByteNumber,
    kUnexpected = Msg::DetectUnexpected,
    kFindArgument = Msg::DetectFindArgument,
    kTrailing = Msg::DetectTrailing,
    kTooDeep = Msg::DetectTooDeep,
};

// Brackets and "!" nest by recursion: a crafted string of thousands would exhaust the stack.
constexpr int kMaxNesting = 200;

constexpr long kDetectBytes = 8192;

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    std::optional<DetectStringProblem> Run() {
        SkipBlanks();
        if (m_at == m_text.size())
            return std::nullopt;
        if (!Or())
            return m_problem;
        SkipBlanks();
        if (m_at != m_text.size())
            return DetectStringProblem{m_at, m_text[m_at] == ')' ? kUnexpected : kTrailing};
        return std::nullopt;
    }

private:
    bool Fail(size_t at, int message) {
        m_problem = DetectStringProblem{at, message};
        return false;
    }
    void SkipBlanks() {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t'))
            ++m_at;
    }
    bool Take(std::string_view token) {
        SkipBlanks();
        if (m_text.substr(m_at, token.size()) != token)
            return false;
        m_at += token.size();
        return true;
    }

    bool Or() {
        if (!And())
            return false;
        while (Take("|"))
            if (!And())
                return false;
        return true;
    }
    bool And() {
        if (!Not())
            return false;
        while (Take("&"))
            if (!Not())
                return false;
        return true;
    }
    bool Not() {
        SkipBlanks();
        if (m_text.substr(m_at, 2) != "!=" && Take("!")) {
            if (++m_depth > kMaxNesting)
                return Fail(m_at - 1, kTooDeep);
            const bool ok = Not();
            --m_depth;
            return ok;
        }
        return Comparison();
    }
    bool Comparison() {
        if (!Operand())
            return false;
        if (Take("!=") || Take("=") || Take("<") || Take(">"))
            return Operand();
        return true;
    }
    bool Operand() {
        SkipBlanks();
        if (m_at == m_text.size())
            return Fail(m_at, kOperandMissing);
        const char c = m_text[m_at];
        if (c == '(') {
            const size_t open = m_at++;
            if (++m_depth > kMaxNesting)
                return Fail(open, kTooDeep);
            if (!Or())
                return false;
            --m_depth;
            if (!Take(")"))
                return Fail(m_at < m_text.size() ? m_at : open, kBracketMissing);
            return true;
        }
        if (c == '"')
            return String();
        if (c == '[') {
            const size_t open = m_at++;
            SkipBlanks();
            const size_t digits = m_at;
            while (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at])))
                ++m_at;
            if (m_at == digits || m_at - digits > 4 ||
                std::stol(std::string(m_text.substr(digits, m_at - digits))) >= kDetectBytes)
                return Fail(open, kByteNumber);
            if (!Take("]"))
                return Fail(m_at, kBracketMissing);
            return true;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            while (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at])))
                ++m_at;
            return true;
        }
        if (std::isalpha(static_cast<unsigned char>(c))) {
            const size_t start = m_at;
            while (m_at < m_text.size() && std::isalnum(static_cast<unsigned char>(m_text[m_at])))
                ++m_at;
            const std::string word = LowerAscii(m_text.substr(start, m_at - start));
            if (word == "ext" || word == "size" || word == "force" || word == "multimedia")
                return true;
            if (word == "find" || word == "findi") {
                SkipBlanks();
                const size_t open = m_at;
                if (!Take("("))
                    return Fail(open, kFindArgument);
                SkipBlanks();
                if (m_at == m_text.size() || m_text[m_at] != '"')
                    return Fail(m_at, kFindArgument);
                if (!String())
                    return false;
                if (!Take(")"))
                    return Fail(m_at, kBracketMissing);
                return true;
            }
            return Fail(start, kUnknownWord);
        }
        if (c == ')' || c == '&' || c == '|' || c == '=' || c == '<' || c == '>')
            return Fail(m_at, kOperandMissing);
        return Fail(m_at, kUnexpected);
    }
    bool String() {
        const size_t open = m_at++;
        const size_t close = m_text.find('"', m_at);
        if (close == std::string_view::npos)
            return Fail(open, kStringOpen);
        m_at = close + 1;
        return true;
    }

    std::string_view m_text;
    size_t m_at = 0;
    int m_depth = 0;
    DetectStringProblem m_problem;
};

} // namespace

std::optional<DetectStringProblem> CheckDetectString(std::string_view text) {
    return Parser(text).Run();
}

} // namespace varnel
