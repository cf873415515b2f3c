#pragma once
// The installer's fire-and-forget analytics calls. Every reporting call does
// nothing while analytics is switched off (LaunchConfig::IsEnableAppAnalytics)
// or no tracker exists (before InitAnalytics, after ShutdownAnalytics). None of
// them throws or reports a failure.
#include <map>
#include <string>

using ExtraProperties = std::map<std::wstring, std::wstring>;

void InitAnalytics();
void ShutdownAnalytics();
// Points the tracker at another analytics server (empty: the maker's), for a
// server chosen on the command line after the tracker was made.
void SetAnalyticsServer(const std::wstring& url);
void ReportTaskEvent(const std::wstring& name, float elapsedSeconds, const std::wstring& reason,
                     ExtraProperties extra);
void ReportClickEvent(const std::wstring& name, ExtraProperties extra);
void ReportViewEvent(ExtraProperties extra);
void ReportCrash();
// Hands the installer's analytics identity to the installed product: "set.ini"
// in installDir and "ZMAnalytics.ini" in the per-user data folder.
void WriteAnalyticsHandOff(const std::wstring& installDir);
