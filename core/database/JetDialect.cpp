#include "core/database/JetDialect.h"

#include <cctype>
#include <vector>

namespace {

enum class TokenKind { Word, Literal, QuotedName, Space, Symbol };

struct Token {
    TokenKind kind;
    std::string text;
};

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

std::vector<Token> Tokenize(const std::string& sql) {
    std::vector<Token> tokens;
    size_t i = 0, n = sql.size();
    while (i < n) {
        char c = sql[i];
        size_t start = i;
        if (c == '\'' || c == '"') {
            // A doubled quote stays inside the literal or name.
            ++i;
            while (i < n) {
                if (sql[i] == c) {
                    if (i + 1 < n && sql[i + 1] == c) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            tokens.push_back({c == '\'' ? TokenKind::Literal : TokenKind::QuotedName, sql.substr(start, i - start)});
        } else if (c == '[') {
            size_t close = sql.find(']', i);
            i = close == std::string::npos ? n : close + 1;
            tokens.push_back({TokenKind::QuotedName, sql.substr(start, i - start)});
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            while (i < n && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
            tokens.push_back({TokenKind::Space, sql.substr(start, i - start)});
        } else if (IsWordChar(c)) {
            while (i < n && IsWordChar(sql[i])) ++i;
            tokens.push_back({TokenKind::Word, sql.substr(start, i - start)});
        } else {
            ++i;
            tokens.push_back({TokenKind::Symbol, sql.substr(start, 1)});
        }
    }
    return tokens;
}

bool Is(const Token& token, const char* word) {
    if (token.kind != TokenKind::Word && token.kind != TokenKind::Symbol) return false;
    const std::string& t = token.text;
    size_t k = 0;
    for (; word[k] != '\0'; ++k)
        if (k >= t.size() || std::toupper(static_cast<unsigned char>(t[k])) != word[k]) return false;
    return k == t.size();
}

// Index of the next token that is not blank, from i on; tokens.size() if none.
size_t NextSolid(const std::vector<Token>& tokens, size_t i) {
    while (i < tokens.size() && tokens[i].kind == TokenKind::Space) ++i;
    return i;
}

size_t PreviousSolid(const std::vector<Token>& tokens, size_t i) {
    while (i > 0) {
        --i;
        if (tokens[i].kind != TokenKind::Space) return i;
    }
    return tokens.size();
}

std::string Join(const std::vector<Token>& tokens, size_t from, size_t to) {
    std::string text;
    for (size_t i = from; i < to; ++i) text += tokens[i].text;
    return text;
}

std::string Rewrite(const std::vector<Token>& tokens, size_t from, size_t to);

// INSTR(a, b) with its arguments compared without case; other forms unchanged.
// open is the index of "(" after INSTR; returns the index after ")" and the
// rewritten call in out.
size_t RewriteInstr(const std::vector<Token>& tokens, size_t open, std::string& out) {
    int depth = 0;
    std::vector<size_t> commas;
    size_t close = tokens.size();
    for (size_t i = open; i < tokens.size(); ++i) {
        if (Is(tokens[i], "(")) ++depth;
        else if (Is(tokens[i], ")")) {
            if (--depth == 0) {
                close = i;
                break;
            }
        } else if (depth == 1 && Is(tokens[i], ",")) commas.push_back(i);
    }
    if (close == tokens.size() || commas.size() != 1) {
        out = Rewrite(tokens, open, close == tokens.size() ? tokens.size() : close + 1);
        return close == tokens.size() ? tokens.size() : close + 1;
    }
    out = "(UPPER(" + Rewrite(tokens, open + 1, commas[0]) + "), UPPER(" +
          Rewrite(tokens, commas[0] + 1, close) + "))";
    return close + 1;
}

std::string Rewrite(const std::vector<Token>& tokens, size_t from, size_t to) {
    std::string out;
    for (size_t i = from; i < to; ++i) {
        const Token& token = tokens[i];
        if (Is(token, "DELETE")) {
            size_t star = NextSolid(tokens, i + 1);
            if (star < to && Is(tokens[star], "*")) {
                size_t fromWord = NextSolid(tokens, star + 1);
                if (fromWord < to && Is(tokens[fromWord], "FROM")) {
                    out += token.text + " ";
                    i = fromWord - 1;
                    continue;
                }
            }
        }
        if (Is(token, "TO")) {
            size_t before = PreviousSolid(tokens, i);
            bool afterRename = before < tokens.size() && Is(tokens[before], "RENAME");
            if (!afterRename) {
                out += "\"" + token.text + "\"";
                continue;
            }
        }
        if (Is(token, "INSTR")) {
            size_t open = NextSolid(tokens, i + 1);
            if (open < to && Is(tokens[open], "(")) {
                std::string call;
                size_t after = RewriteInstr(tokens, open, call);
                out += token.text + Join(tokens, i + 1, open) + call;
                i = after - 1;
                continue;
            }
        }
        out += token.text;
    }
    return out;
}

}  // namespace

std::string JetToSqlite(const std::string& statement) {
    std::vector<Token> tokens = Tokenize(statement);
    return Rewrite(tokens, 0, tokens.size());
}
