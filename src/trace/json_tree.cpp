// The bounded JSON parser: RapidJSON's tokeniser feeding a handler that builds the tree and stops
// at the limits.
#include "trace/json_tree.h"

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

namespace tarnix::trace::json {
namespace {

/// RapidJSON's in-place stream over a private copy of the line: strings are decoded into the copy
/// itself, behind the reading position, so the tokeniser never touches its own stack (whose first
/// growth does arithmetic on a null pointer). The end reads as NUL; NUL bytes are refused before.
class InsituStream {
 public:
  using Ch = char;
  explicit InsituStream(std::string& text) : text_(text) {}
  Ch Peek() const { return read_ < text_.size() ? text_[read_] : '\0'; }
  Ch Take() { return read_ < text_.size() ? text_[read_++] : '\0'; }
  size_t Tell() const { return read_; }
  Ch* PutBegin() {
    write_ = read_;
    return text_.data() + write_;
  }
  void Put(Ch c) { text_[write_++] = c; }
  void Flush() {}
  size_t PutEnd(Ch* begin) { return static_cast<size_t>(text_.data() + write_ - begin); }

 private:
  std::string& text_;
  size_t read_ = 0;
  size_t write_ = 0;
};

Node Of(Node::Kind kind) {
  Node node;
  node.kind = kind;
  return node;
}

/// Builds the tree; returning false stops the tokeniser, with `refusal` saying why.
class TreeBuilder {
 public:
  bool Null() { return Add(Node{}); }
  bool Bool(bool value) {
    Node node = Of(Node::Kind::kBool);
    node.boolean = value;
    return Add(std::move(node));
  }
  bool Int(int value) { return value < 0 ? Negative() : Uint64(static_cast<uint64_t>(value)); }
  bool Uint(unsigned value) { return Uint64(value); }
  bool Int64(int64_t value) {
    return value < 0 ? Negative() : Uint64(static_cast<uint64_t>(value));
  }
  bool Uint64(uint64_t value) {
    Node node = Of(Node::Kind::kUnsigned);
    node.number = value;
    return Add(std::move(node));
  }
  bool Double(double) { return Add(Of(Node::Kind::kFraction)); }
  bool RawNumber(const char*, rapidjson::SizeType, bool) { return false; }  // not enabled
  bool String(const char* text, rapidjson::SizeType length, bool) {
    Node node = Of(Node::Kind::kString);
    node.text.assign(text, length);
    return Add(std::move(node));
  }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    open_.back().keys.emplace_back(text, length);
    return true;
  }
  bool StartObject() { return Open(Node::Kind::kObject); }
  bool EndObject(rapidjson::SizeType) { return Close(); }
  bool StartArray() { return Open(Node::Kind::kArray); }
  bool EndArray(rapidjson::SizeType) { return Close(); }

  Node& root() { return root_; }
  const std::string& refusal() const { return refusal_; }

 private:
  bool Counted() {
    if (++values_ <= kMaxValues) return true;
    refusal_ = "more than " + std::to_string(kMaxValues) + " values";
    return false;
  }
  bool Negative() { return Add(Of(Node::Kind::kNegative)); }
  bool Add(Node node) {
    if (open_.empty()) {
      root_ = std::move(node);
      return Counted();
    }
    open_.back().items.push_back(std::move(node));
    return Counted();
  }
  bool Open(Node::Kind kind) {
    if (open_.size() >= kMaxDepth) {
      refusal_ = "nested deeper than " + std::to_string(kMaxDepth) + " levels";
      return false;
    }
    open_.push_back(Of(kind));
    return true;
  }
  bool Close() {
    Node done = std::move(open_.back());
    open_.pop_back();
    return Add(std::move(done));
  }

  std::vector<Node> open_;  // the containers being filled, outermost first
  Node root_;
  size_t values_ = 0;
  std::string refusal_;
};

}  // namespace

Result<Node> ParseTree(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return Fail("holds a NUL byte");
  std::string copy(text);
  InsituStream stream(copy);
  TreeBuilder builder;
  rapidjson::Reader reader;
  // Recursion is bounded by the builder, which stops the tokeniser at kMaxDepth.
  constexpr unsigned kFlags = rapidjson::kParseInsituFlag | rapidjson::kParseValidateEncodingFlag;
  const rapidjson::ParseResult result = reader.Parse<kFlags>(stream, builder);
  if (!builder.refusal().empty()) return Fail(builder.refusal());
  if (result.IsError()) {
    return Fail(std::string("not JSON: ") + rapidjson::GetParseError_En(result.Code()) +
                " (at byte " + std::to_string(result.Offset()) + ")");
  }
  return std::move(builder.root());
}

std::string Describe(const Node& node) {
  switch (node.kind) {
    case Node::Kind::kNull:
      return "null";
    case Node::Kind::kBool:
      return node.boolean ? "true" : "false";
    case Node::Kind::kUnsigned:
      return "the number " + std::to_string(node.number);
    case Node::Kind::kNegative:
      return "a negative number";
    case Node::Kind::kFraction:
      return "a fraction or a number beyond 64 bits";
    case Node::Kind::kString:
      return "a string";
    case Node::Kind::kArray:
      return "a list";
    case Node::Kind::kObject:
      return "an object";
  }
  return "a value";
}

}  // namespace tarnix::trace::json
