#include "platform/registry/registrar_script.h"

#include <cstdint>
#include <cstring>

#include "platform/registry/key_path.h"
#include "platform/registry/registry_store.h"
#include "qxnet/text.h"

namespace qx::registry {

namespace {

// Deepest nesting of keys accepted; keeps recursion bounded for any input.
constexpr int kMaxDepth = 256;

struct Token {
  enum class Kind { End, Word, Open, Close, Equals };
  Kind kind = Kind::End;
  std::u16string text;  // words: after unquoting and replacement
  bool quoted = false;
  size_t line = 1;
};

struct SyntaxError {
  std::string message;
};

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v';
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && FoldCase(a) == FoldCase(b);
}

class Tokenizer {
 public:
  Tokenizer(std::u16string_view text, const ScriptReplacements& replacements)
      : text_(text), replacements_(replacements) {}

  const Token& Peek() {
    if (!peeked_) {
      next_ = Read();
      peeked_ = true;
    }
    return next_;
  }
  Token Take() {
    Peek();
    peeked_ = false;
    return std::move(next_);
  }

  [[noreturn]] void Fail(const std::string& message, size_t line) {
    throw SyntaxError{"line " + std::to_string(line) + ": " + message};
  }

 private:
  Token Read() {
    if (pending_closes_ > 0) {
      --pending_closes_;
      Token token;
      token.kind = Token::Kind::Close;
      token.line = line_;
      return token;
    }
    while (pos_ < text_.size() && IsSpace(text_[pos_])) {
      if (text_[pos_] == u'\n') ++line_;
      ++pos_;
    }
    Token token;
    token.line = line_;
    if (pos_ >= text_.size()) return token;
    const char16_t c = text_[pos_];
    if (c == u'=') {
      ++pos_;
      token.kind = Token::Kind::Equals;
      return token;
    }
    if (c == u'\'') {
      ++pos_;
      std::u16string raw;
      while (true) {
        if (pos_ >= text_.size()) Fail("unterminated quoted text", token.line);
        const char16_t q = text_[pos_++];
        if (q == u'\'') {
          if (pos_ < text_.size() && text_[pos_] == u'\'') {
            raw.push_back(u'\'');
            ++pos_;
            continue;
          }
          break;
        }
        if (q == u'\n') ++line_;
        raw.push_back(q);
      }
      token.kind = Token::Kind::Word;
      token.quoted = true;
      token.text = Substitute(raw, token.line);
      return token;
    }
    const size_t start = pos_;
    while (pos_ < text_.size() && !IsSpace(text_[pos_]) && text_[pos_] != u'=' &&
           text_[pos_] != u'\'')
      ++pos_;
    const std::u16string_view run = text_.substr(start, pos_ - start);
    if (run == u"{") {
      token.kind = Token::Kind::Open;
      return token;
    }
    if (run.find_first_not_of(u'}') == std::u16string_view::npos) {
      pending_closes_ = run.size() - 1;
      token.kind = Token::Kind::Close;
      return token;
    }
    token.kind = Token::Kind::Word;
    token.text = Substitute(run, token.line);
    return token;
  }

  std::u16string Substitute(std::u16string_view raw, size_t line) {
    std::u16string out;
    size_t i = 0;
    while (i < raw.size()) {
      if (raw[i] != u'%') {
        out.push_back(raw[i++]);
        continue;
      }
      const size_t close = raw.find(u'%', i + 1);
      if (close == std::u16string_view::npos) Fail("unmatched % in text", line);
      const std::u16string_view name = raw.substr(i + 1, close - i - 1);
      if (name.empty()) {
        out.push_back(u'%');
      } else {
        const std::u16string* found = nullptr;
        for (const auto& entry : replacements_) {
          if (EqualsIgnoringCase(entry.first, name)) {
            found = &entry.second;
            break;
          }
        }
        if (found == nullptr) Fail("no replacement for %" + Utf16ToUtf8(name) + "%", line);
        out += *found;
      }
      i = close + 1;
    }
    return out;
  }

  std::u16string_view text_;
  const ScriptReplacements& replacements_;
  size_t pos_ = 0;
  size_t line_ = 1;
  size_t pending_closes_ = 0;
  bool peeked_ = false;
  Token next_;
};

class Parser {
 public:
  Parser(std::u16string_view text, const ScriptReplacements& replacements)
      : tokens_(text, replacements) {}

  void ParseScript(std::vector<ScriptRoot>& roots) {
    while (tokens_.Peek().kind != Token::Kind::End) {
      Token name = ExpectWord("a root key");
      // Roots are never removed; the marker is accepted and has no effect.
      if (!name.quoted && EqualsIgnoringCase(name.text, u"NoRemove"))
        name = ExpectWord("a root key");
      ScriptRoot root;
      if (!ParseRootName(name.text, root.root))
        tokens_.Fail("unknown root key '" + Utf16ToUtf8(name.text) + "'", name.line);
      Expect(Token::Kind::Open, "'{' after the root key");
      ParseBlock(root.keys, nullptr, 1);
      roots.push_back(std::move(root));
    }
  }

 private:
  Token ExpectWord(const char* what) {
    Token token = tokens_.Take();
    if (token.kind != Token::Kind::Word) tokens_.Fail(std::string("expected ") + what, token.line);
    return token;
  }

  void Expect(Token::Kind kind, const char* what) {
    const Token token = tokens_.Take();
    if (token.kind != kind) tokens_.Fail(std::string("expected ") + what, token.line);
  }

  // Reads entries up to and including the closing brace.
  void ParseBlock(std::vector<ScriptKey>& keys, ScriptKey* owner, int depth) {
    if (depth > kMaxDepth) tokens_.Fail("keys nested too deeply", tokens_.Peek().line);
    while (true) {
      const Token& next = tokens_.Peek();
      if (next.kind == Token::Kind::Close) {
        tokens_.Take();
        return;
      }
      if (next.kind == Token::Kind::End) tokens_.Fail("missing '}'", next.line);
      if (next.kind == Token::Kind::Word && !next.quoted && EqualsIgnoringCase(next.text, u"val")) {
        if (owner == nullptr) tokens_.Fail("a value needs a key", next.line);
        tokens_.Take();
        const Token name = ExpectWord("a value name");
        if (name.text.size() > kMaxValueNameLength) tokens_.Fail("value name too long", name.line);
        Expect(Token::Kind::Equals, "'=' after the value name");
        owner->values.emplace_back(name.text, ParseValue());
        continue;
      }
      keys.push_back(ParseKey(depth));
    }
  }

  ScriptKey ParseKey(int depth) {
    ScriptKey key;
    Token name = ExpectWord("a key name");
    if (!name.quoted) {
      if (EqualsIgnoringCase(name.text, u"NoRemove")) {
        key.mode = ScriptKey::Mode::NoRemove;
      } else if (EqualsIgnoringCase(name.text, u"ForceRemove")) {
        key.mode = ScriptKey::Mode::ForceRemove;
      } else if (EqualsIgnoringCase(name.text, u"Delete")) {
        key.mode = ScriptKey::Mode::Delete;
      }
      if (key.mode != ScriptKey::Mode::Normal) name = ExpectWord("a key name");
    }
    if (name.text.empty() || name.text.size() > kMaxKeyNameLength ||
        name.text.find(u'\\') != std::u16string::npos)
      tokens_.Fail("invalid key name '" + Utf16ToUtf8(name.text) + "'", name.line);
    key.name = std::move(name.text);
    if (tokens_.Peek().kind == Token::Kind::Equals) {
      tokens_.Take();
      key.defaultValue = ParseValue();
      key.hasDefault = true;
    }
    if (tokens_.Peek().kind == Token::Kind::Open) {
      tokens_.Take();
      ParseBlock(key.subkeys, &key, depth + 1);
    }
    return key;
  }

  ScriptValue ParseValue() {
    const Token type = ExpectWord("a value type (s, d or b)");
    const Token text = ExpectWord("the value's text");
    ScriptValue value;
    if (!type.quoted && EqualsIgnoringCase(type.text, u"s")) {
      value.type = REG_SZ;
      const size_t bytes = (text.text.size() + 1) * sizeof(char16_t);
      value.data.resize(bytes, 0);
      std::memcpy(value.data.data(), text.text.data(), text.text.size() * sizeof(char16_t));
    } else if (!type.quoted && EqualsIgnoringCase(type.text, u"d")) {
      value.type = REG_DWORD;
      uint32_t number = 0;
      if (!ParseNumber(text.text, number))
        tokens_.Fail("invalid number '" + Utf16ToUtf8(text.text) + "'", text.line);
      value.data.resize(sizeof(number));
      std::memcpy(value.data.data(), &number, sizeof(number));
    } else if (!type.quoted && EqualsIgnoringCase(type.text, u"b")) {
      value.type = REG_BINARY;
      if (!ParseHexBytes(text.text, value.data))
        tokens_.Fail("invalid hex bytes '" + Utf16ToUtf8(text.text) + "'", text.line);
    } else {
      tokens_.Fail("unknown value type '" + Utf16ToUtf8(type.text) + "'", type.line);
    }
    return value;
  }

  static int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  }

  static bool ParseNumber(std::u16string_view text, uint32_t& out) {
    uint64_t value = 0;
    uint64_t base = 10;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
      base = 16;
      text.remove_prefix(2);
    }
    if (text.empty()) return false;
    for (const char16_t c : text) {
      const int digit = HexDigit(c);
      if (digit < 0 || static_cast<uint64_t>(digit) >= base) return false;
      value = value * base + static_cast<uint64_t>(digit);
      if (value > 0xFFFFFFFFu) return false;
    }
    out = static_cast<uint32_t>(value);
    return true;
  }

  static bool ParseHexBytes(std::u16string_view text, std::vector<BYTE>& out) {
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
      const int high = HexDigit(text[i]);
      const int low = HexDigit(text[i + 1]);
      if (high < 0 || low < 0) return false;
      out.push_back(static_cast<BYTE>(high * 16 + low));
    }
    return true;
  }

  Tokenizer tokens_;
};

}  // namespace

bool ParseRegistrationScript(std::u16string_view script, const ScriptReplacements& replacements,
                             std::vector<ScriptRoot>& roots, std::string& error) {
  roots.clear();
  try {
    Parser parser(script, replacements);
    parser.ParseScript(roots);
    return true;
  } catch (const SyntaxError& failure) {
    roots.clear();
    error = failure.message;
    return false;
  }
}

}  // namespace qx::registry
