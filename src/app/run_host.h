#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <mutex>
#include <stdexcept>

#include "app/settings_tab.h"
#include "report/report_buffer.h"
#include "report/report_host.h"

namespace quorvane::app {

// Thrown into a run that the window has asked to stop.
class RunStopped : public std::runtime_error {
 public:
  RunStopped() : std::runtime_error("The report was stopped.") {}
};

// The report host for a run on a worker thread. Everything the run tells the window crosses
// as a queued signal, in order; what it reads of the Settings tab comes from a copy the window
// keeps up to date; the report buffer's growth is collected and handed over in batches.
class RunHost : public QObject, public report::ReportHost, public report::ReportBuffer::Observer {
  Q_OBJECT

 public:
  explicit RunHost(QObject* parent = nullptr);

  // From the window's thread.
  void SetRunSettings(const RunSettings& settings);
  void RequestStop() { stopRequested_ = true; }
  void ClearStopRequest() { stopRequested_ = false; }
  // The buffer entries appended since the last call (and whether the buffer was cleared first).
  QStringList TakeAppended(bool& cleared);

  // report::ReportHost, from the run's thread.
  void ProcessEvents() override;
  void SetRunControlsEnabled(bool enabled) override { emit runControlsEnabled(enabled); }
  void SetStatusText(const std::string& text) override {
    emit statusText(QString::fromStdString(text));
  }
  void StartProgress() override { emit progressStarted(); }
  void StopProgress() override { emit progressStopped(); }
  void RestoreDefaultCursor() override { emit defaultCursorRestored(); }
  void ShowWarning(const std::string& caption, const std::string& text) override {
    emit warning(QString::fromStdString(caption), QString::fromStdString(text));
  }
  void Navigate(const std::string& url) override { emit navigate(QString::fromStdString(url)); }
  bool AllowCmdShell() const override;
  bool AllowOACreate() const override;
  bool IgnoreReplicationSection() const override;
  int JobHistory() const override;
  int JobHistoryLimit() const override;
  // Whether the report ends with its Findings section, as the box is when the run gets there.
  bool Findings() const;

  // report::ReportBuffer::Observer
  void Cleared() override;
  void Appended(std::string_view entry) override;

 signals:
  void runControlsEnabled(bool enabled);
  void statusText(const QString& text);
  void progressStarted();
  void progressStopped();
  void defaultCursorRestored();
  void warning(const QString& caption, const QString& text);
  void navigate(const QString& url);
  void bufferGrew();  // once per batch of appended entries

 private:
  RunSettings Settings() const;

  mutable std::mutex mutex_;
  RunSettings settings_;
  QStringList appended_;
  bool cleared_ = false;
  bool flushPending_ = false;
  std::atomic<bool> stopRequested_{false};
};

}  // namespace quorvane::app
