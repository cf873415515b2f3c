// Reporting calls without a tracker yet: every report is dropped, as it is
// whenever no tracker exists.
#include "analytics/reporting.h"

void InitAnalytics() {}
void ShutdownAnalytics() {}
void ReportTaskEvent(const std::wstring&, float, const std::wstring&, ExtraProperties) {}
void ReportClickEvent(const std::wstring&, ExtraProperties) {}
void ReportViewEvent(ExtraProperties) {}
void ReportCrash() {}
void WriteAnalyticsHandOff(const std::wstring&) {}
