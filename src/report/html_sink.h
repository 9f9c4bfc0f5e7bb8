#pragma once

#include <string>
#include <string_view>

namespace quorvane::report {

// Where rendered HTML goes, block by block, as it is made.
class HtmlSink {
 public:
  virtual ~HtmlSink() = default;
  virtual void Write(std::string_view html) = 0;
};

// Keeps everything written, for callers that want one string.
class StringHtmlSink : public HtmlSink {
 public:
  void Write(std::string_view html) override { text_ += html; }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

}  // namespace quorvane::report
