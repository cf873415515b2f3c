#pragma once
// The downloaders as a launch configuration asks for them, for the window and
// the silent road alike: libcurl's readiness from the configuration, the
// length probe's failure reasons sent to analytics.
#include "download/downloader.h"

class LaunchConfig;

DownloaderFactory ConfiguredDownloaderFactory(const LaunchConfig& config);
