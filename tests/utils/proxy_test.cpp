// The proxy rules: URL pieces, bypass lists and (POSIX) the variables libcurl
// reads, as a table of cases.
#include <gtest/gtest.h>

#include <string>

#include "utils/fs.h"
#include "utils/proxy.h"

namespace {

TEST(Proxy, SplitUrlTakesSchemeAndHost) {
    struct Case {
        const char* url;
        const char* scheme;
        const char* host;
    } cases[] = {
        {"http://127.0.0.1:8080/a/b", "http", "127.0.0.1"},
        {"HTTPS://Example.COM/x?y=1", "https", "example.com"},
        {"http://user:pw@host.lan:81", "http", "host.lan"},
        {"http://[::1]:8080/", "http", "::1"},
        {"file:///C:/x", "file", ""},
    };
    for (const Case& c : cases) {
        Utils::UrlParts parts = Utils::SplitUrl(c.url);
        EXPECT_EQ(parts.scheme, c.scheme) << c.url;
        EXPECT_EQ(parts.host, c.host) << c.url;
    }
}

TEST(Proxy, BypassLists) {
    struct Case {
        const char* host;
        const char* list;
        bool wildcards;
        bool bypassed;
    } cases[] = {
        {"example.com", "example.com", false, true},
        {"www.example.com", "example.com", false, true},
        {"www.example.com", ".example.com", false, true},
        {"badexample.com", "example.com", false, false},
        {"a.lan", "x.org, a.lan", false, true},
        {"anything", "*", false, true},
        {"intranet", "<local>", true, true},
        {"intranet.corp", "<local>", true, false},
        {"web.corp.lan", "*.corp.lan;x.org", true, true},
        {"web.corp.lan", "*.corp.lan", false, false},
        {"10.1.2.3", "10.*", true, true},
        {"example.com", "", true, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utils::HostBypassed(c.host, c.list, c.wildcards ? "; " : ",", c.wildcards), c.bypassed)
            << c.host << " in \"" << c.list << "\"";
}

#ifndef _WIN32
TEST(Proxy, EnvironmentAsLibcurlReadsIt) {
    struct Case {
        const wchar_t* httpProxy;
        const wchar_t* httpsProxy;
        const wchar_t* noProxy;
        const char* url;
        const char* proxy;
    } cases[] = {
        {L"http://p:3128", L"", L"", "http://a.org/x", "http://p:3128"},
        {L"http://p:3128", L"", L"", "https://a.org/x", ""},
        {L"", L"http://s:3128", L"", "https://a.org/x", "http://s:3128"},
        {L"http://p:3128", L"", L"a.org", "http://www.a.org/x", ""},
        {L"http://p:3128", L"", L"*", "http://b.org/", ""},
        {L"http://p:3128", L"", L"b.org", "http://a.org/", "http://p:3128"},
        {L"http://p:3128", L"", L"", "file:///tmp/x", ""},
    };
    const wchar_t* names[] = {L"http_proxy", L"https_proxy", L"HTTPS_PROXY", L"all_proxy", L"ALL_PROXY",
                              L"no_proxy", L"NO_PROXY"};
    for (const Case& c : cases) {
        for (const wchar_t* name : names) Utils::SetEnv(name, L"");
        Utils::SetEnv(L"http_proxy", c.httpProxy);
        Utils::SetEnv(L"https_proxy", c.httpsProxy);
        Utils::SetEnv(L"no_proxy", c.noProxy);
        EXPECT_EQ(Utils::SystemProxyFor(c.url), c.proxy) << c.url;
    }
    for (const wchar_t* name : names) Utils::SetEnv(name, L"");
}
#endif

}  // namespace
