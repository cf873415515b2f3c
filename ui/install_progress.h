#pragma once
// What the installing page shows: the percentage of the progress bar during the
// download and the package run, and the progress text. Kept free of windows so
// the arithmetic can be checked on its own; the main window feeds it
// notifications and tick counts.
#include <cstdint>
#include <string>

class InstallProgress {
public:
    explicit InstallProgress(double downloadScale) : m_downloadScale(downloadScale) {}

    // The download stopwatch: started (again) by every download start, never stopped.
    void StartClock(uint32_t nowTick) {
        m_clockStart = nowTick;
        m_clockRunning = true;
    }
    bool ClockRunning() const { return m_clockRunning; }
    // Seconds since the most recent start; 0 while the clock has not run.
    float ElapsedSeconds(uint32_t nowTick) const;

    // Download fraction 0..1 -> bar percentage 0..DownloadScale*100 (truncated).
    int DownloadPercent(double fraction) const;
    // A package progress line: advances a pseudo progress by 0.15 of the
    // installation share (up to 0.95 of it) or follows the package's own
    // fraction when that is ahead; returns the bar percentage.
    int InstallPercent(double value);
    double PseudoProgress() const { return m_pseudo; }

    // The text under the bar for percentage p. userFormat is the layout's own
    // format, if any; it is used only when it is a safe one-number format.
    std::wstring Text(int percent, uint32_t nowTick, const std::wstring& userFormat = L"") const;

    // An installation failure at 70 % or more starts the bar again from 0.
    static bool FailureResetsBar(int barValue) { return barValue >= 70; }

    // Formats `format` with one integer: "%d" takes the number, "%%" is a
    // percent sign. Any other conversion makes the format unusable (false), so
    // that text from a layout can never reach printf as a format.
    static bool FormatOneNumber(const std::wstring& format, int value, std::wstring& out);

private:
    double m_downloadScale;
    double m_pseudo = 0.0;
    uint32_t m_clockStart = 0;
    bool m_clockRunning = false;
};
