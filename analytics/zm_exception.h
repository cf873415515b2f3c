#pragma once
// The analytics layer's validation error. It never leaves the tracker's wrapper.
#include <stdexcept>
#include <string>

namespace zelmox::analytics {

class ZmException : public std::exception {
public:
    ZmException(std::string message, std::string file, std::string function, int line)
        : m_message(std::move(message)), m_file(std::move(file)), m_function(std::move(function)), m_line(line) {}
    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& File() const { return m_file; }
    const std::string& Function() const { return m_function; }
    int Line() const { return m_line; }

private:
    std::string m_message;
    std::string m_file;
    std::string m_function;
    int m_line;
};

}  // namespace zelmox::analytics

#define ZM_THROW(source, function, message) \
    throw ::zelmox::analytics::ZmException((message), (source), (function), __LINE__)
