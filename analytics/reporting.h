#pragma once
// The installer's fire-and-forget analytics calls. Every reporting call does
// nothing while analytics is switched off (LaunchConfig::IsEnableAppAnalytics)
// or no tracker exists (before InitAnalytics, after ShutdownAnalytics). None of
// them throws or reports a failure.
#include <map>
#include <string>

using ExtraProperties = std::map<std::wstring, std::wstring>;

// How the tracker is placed; the defaults are those of the shipped installer.
struct AnalyticsPlacement {
    std::string baseFolder;    // the per-user data folder's parent; empty: the system's
    long sendTimeoutMs = 3000;  // the limit of one upload
};

void InitAnalytics(const AnalyticsPlacement& placement = {});
void ShutdownAnalytics();
// Points the tracker at another analytics server (empty: the maker's), for a
// server chosen on the command line after the tracker was made.
void SetAnalyticsServer(const std::wstring& url);
void ReportTaskEvent(const std::wstring& name, float elapsedSeconds, const std::wstring& reason,
                     ExtraProperties extra);
void ReportClickEvent(const std::wstring& name, ExtraProperties extra);
void ReportViewEvent(ExtraProperties extra);
void ReportCrash();
// Makes the crash report's records now ("崩溃退出" and the crash event), for
// WriteCrashReport; InitAnalytics calls it once the tracker exists.
void BeginCrashReport();
// For the crash filter: appends the records made by BeginCrashReport, with
// the current time, to the analytics staging file, which the next run sends.
// No network, no lock, no allocation.
void WriteCrashReport();
// Hands the installer's analytics identity to the installed product: "set.ini"
// in installDir and "ZMAnalytics.ini" in the per-user data folder.
void WriteAnalyticsHandOff(const std::wstring& installDir);
