// Analytics throughput on one core:
//  1. task records built (property set, super properties, JSON) and queued
//     per second, against the target of 50,000 records/s;
//  2. the growth of the peak memory while doing so, against the JSON text of
//     the records the queue then holds (it keeps at most its limit);
//  3. encoding one 30-record batch (gzip level 9 + Base64 + percent-encoding)
//     against zlib's default compression of the same batch (compress2, level 6).
#include <sys/resource.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "analytics/zm_core.h"
#include "analytics/zm_transport.h"

using namespace zm_analytics;
using Clock = std::chrono::steady_clock;

namespace {

// The process's peak resident memory so far, in KiB.
long PeakKiB() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

PropertiesNode SuperProperties() {
    PropertiesNode p;
    p.SetString("zm_app_id", "velqordoc.downloader");
    p.SetString("$app_version", "1.7.9");
    p.SetString("$app_id", "velqordoc.downloader");
    p.SetString("zm_app_store", "velqor-setup.exe");
    p.SetString("zm_edition", "china");
    p.SetString("zm_dlapp_id", "velqordoc");
    p.SetString("zm_app_platform", "Windows");
    p.SetString("zm_track_type", "Client");
    p.SetString("zm_sdk_version", "3.3.8");
    p.SetString("zm_sdk", "WindowsCPP");
    p.SetString("$os", "Windows");
    p.SetString("$os_version", "10");
    p.SetString("zm_l10n_locale", "zh_CN");
    p.SetString("zm_l10n_language", "zh");
    p.SetString("zm_l10n_country", "CN");
    p.SetInteger("$screen_height", 1080);
    p.SetInteger("$screen_width", 1920);
    return p;
}

void TrackOne(int i) {
    PropertiesNode p;
    p.SetString("zm_task_name", "\xE5\xA4\xA7\xE5\x8C\x85\xE4\xB8\x8B\xE8\xBD\xBD\xE5\xAE\x8C\xE6\xAF\x95");
    p.SetNumber("zm_task_elapsed", 12.5 + i % 7);
    p.SetString("zm_task_result", "Success");
    p.SetBool("$is_first_time", true);
    p.SetString("zmc_ab", "IN");
    Sdk::Track("ZmEventTask", p);
}

}  // namespace

int main() {
    Sdk::Init("", "http://127.0.0.1:9/sa?project=pc", "5A1E3C2B-0000-4000-8000-123456789ABC", false);
    Sdk::RegisterSuperProperties(SuperProperties());

    const long peakAtStart = PeakKiB();
    // 1. Records built and queued.
    const int kRecords = 200000;
    for (int i = 0; i < 2000; ++i) TrackOne(i);  // warm-up
    auto start = Clock::now();
    for (int i = 0; i < kRecords; ++i) TrackOne(i);
    double perSecond = kRecords / Seconds(Clock::now() - start);
    const double kTarget = 50000;
    std::printf("records built and queued: %.0f records/s (baseline: target 50000 records/s, ratio %.2f)\n",
                perSecond, perSecond / kTarget);

    // 2. Encoding of a 30-record batch.
    const long peakGrowth = PeakKiB() - peakAtStart;
    auto records = Sdk::Queue()->Snapshot();
    size_t jsonBytes = 0;
    for (const auto& record : records) jsonBytes += record.size();
    std::printf("peak memory growth: %ld KiB while queueing (baseline: the %zu queued records' JSON text, %zu KiB, "
                "ratio %.2f)\n",
                peakGrowth, records.size(), jsonBytes / 1024, static_cast<double>(peakGrowth) * 1024.0 / jsonBytes);
    std::string batch = "[";
    for (int i = 0; i < 30; ++i) batch += (i ? "," : "") + records[i];
    batch += "]";
    const int kRounds = 2000;
    std::string body;
    start = Clock::now();
    for (int i = 0; i < kRounds; ++i) EncodeBatch(batch, body);
    double encodeUs = Seconds(Clock::now() - start) / kRounds * 1e6;
    std::vector<Bytef> out(compressBound(static_cast<uLong>(batch.size())));
    start = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
        uLongf n = static_cast<uLongf>(out.size());
        compress2(out.data(), &n, reinterpret_cast<const Bytef*>(batch.data()), static_cast<uLong>(batch.size()), 6);
    }
    double baselineUs = Seconds(Clock::now() - start) / kRounds * 1e6;
    std::printf("30-record batch: %zu bytes JSON -> %zu bytes body; encoding %.1f us/batch "
                "(baseline: zlib compress2 level 6 %.1f us/batch, ratio %.2f)\n",
                batch.size(), body.size(), encodeUs, baselineUs, encodeUs / baselineUs);
    Sdk::Shutdown();
    return 0;
}
