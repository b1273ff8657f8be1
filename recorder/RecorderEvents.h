#pragma once
// The recorder's events: written to the event log as the source
// "DelvoraRecorder", whose texts are the message table built into
// DelvoraRecorder.exe (support/messages/DelvoraRecorder.mc; the ids are its
// MSG_* names), and handed to an echo as text (console mode prints them).

#include <windows.h>

#include <functional>
#include <initializer_list>

#include "DelvoraRecorder.h"
#include "framework/String.h"
#include "support/EventLog.h"

constexpr wchar_t kRecorderEventSource[] = L"DelvoraRecorder";

class CRecorderEvents {
public:
  // Opens the source through the event log functions chosen now (SetEventLogApi).
  CRecorderEvents() : m_log(kRecorderEventSource) {}
  CRecorderEvents(const CRecorderEvents&) = delete;
  CRecorderEvents& operator=(const CRecorderEvents&) = delete;

  // Also called with each event's text (echo null: none).
  using Echo = std::function<void(WORD wType, DWORD dwEventId, const CString& strText)>;
  void SetEcho(Echo echo) { m_echo = std::move(echo); }

  // wType: EVENTLOG_INFORMATION_TYPE, _WARNING_TYPE or _ERROR_TYPE. A log that
  // refuses the event changes nothing for the recorder.
  void Report(WORD wType, DWORD dwEventId, std::initializer_list<CString> strings);

  // The event's text from the message table of the module that holds it (the
  // executable), the strings as inserts; without the table, the id and the strings.
  static CString FormatText(DWORD dwEventId, std::initializer_list<CString> strings);

private:
  CEventLog m_log;
  Echo m_echo;
};
