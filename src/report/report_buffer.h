#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane::report {

// The report's HTML while it is built: an ordered list of entries. Its text is every entry
// followed by CR LF; an entry may itself hold bare LF characters.
class ReportBuffer {
 public:
  // Told of every change, on the thread that makes it, so that a debug window can follow the
  // buffer as it grows without reading it whole.
  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void Cleared() = 0;
    virtual void Appended(std::string_view entry) = 0;
  };

  void SetObserver(Observer* observer) { observer_ = observer; }
  // The report file the buffer is streamed to, told after the observer.
  void SetSink(Observer* sink) { sink_ = sink; }
  // Off: entries are only passed on to the observer and the sink, so that a program that needs
  // no more than the file does not hold the whole report (Entries and Text are then empty).
  void KeepEntries(bool keep) { keep_ = keep; }

  void Clear();
  void Append(std::string entry);
  // Replaces the content with the lines of `text`, split at CR LF (a final CR LF adds no line).
  void Load(std::string_view text);

  const std::vector<std::string>& Entries() const { return entries_; }
  std::size_t Size() const { return entries_.size(); }
  std::string Text() const;

 private:
  void Tell(std::string_view entry);

  std::vector<std::string> entries_;
  Observer* observer_ = nullptr;
  Observer* sink_ = nullptr;
  bool keep_ = true;
};

}  // namespace quorvane::report
