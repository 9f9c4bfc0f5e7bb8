#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane::report {

// The report's HTML while it is built: an ordered list of entries. Its text is every entry
// followed by CR LF; an entry may itself hold bare LF characters. An entry too large to hold
// (a table of many rows) can be written in parts, which go on to the sink as they come.
class ReportBuffer {
 public:
  // Told of every change, on the thread that makes it, so that a debug window can follow the
  // buffer as it grows without reading it whole. Sees whole entries only.
  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void Cleared() = 0;
    virtual void Appended(std::string_view entry) = 0;
  };

  // Where the report's text goes (the report file): every byte of it, in order.
  class Sink {
   public:
    virtual ~Sink() = default;
    virtual void Cleared() = 0;
    virtual void Write(std::string_view text) = 0;
  };

  void SetObserver(Observer* observer) { observer_ = observer; }
  void SetSink(Sink* sink) { sink_ = sink; }
  // Off: entries are only passed on to the observer and the sink, so that a program that needs
  // no more than the file does not hold the whole report (Entries and Text are then empty).
  void KeepEntries(bool keep) { keep_ = keep; }

  void Clear();
  void Append(std::string entry);
  // Writes the next part of an entry; EndEntry ends it. Nothing else may be appended between.
  void AppendPart(std::string_view part);
  void EndEntry();
  // Replaces the content with the lines of `text`, split at CR LF (a final CR LF adds no line).
  void Load(std::string_view text);

  const std::vector<std::string>& Entries() const { return entries_; }
  std::size_t Size() const { return entries_.size(); }
  std::string Text() const;

 private:
  // Whether whole entries are needed here (kept, or shown by the observer).
  bool HoldsEntries() const { return keep_ || observer_; }

  std::vector<std::string> entries_;
  std::string openEntry_;  // the parts of the open entry, when HoldsEntries()
  bool entryOpen_ = false;
  Observer* observer_ = nullptr;
  Sink* sink_ = nullptr;
  bool keep_ = true;
};

}  // namespace quorvane::report
