#pragma once

#include "http/CConnInfo.h"
#include "os/CException.h"

#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

// Head lines as a socket would hand them out, without their line ends; a
// line put back is read again, and reading past the end is a half close.
class Lines : public CConnInfo::LineSource {
public:
    Lines(std::initializer_list<const char*> lines) : m_lines(lines.begin(), lines.end()) {}
    explicit Lines(const std::vector<std::string>& lines) : m_lines(lines.begin(), lines.end()) {}
    CIString ReadLine() override {
        if (m_lines.empty())
            throw CException::HalfClosed();
        CIString line = m_lines.front();
        m_lines.pop_front();
        return line;
    }
    void PushBackLine(const CIString& line) override { m_lines.push_front(line); }
    std::size_t Left() const { return m_lines.size(); }
    const CIString& Front() const { return m_lines.front(); }

private:
    std::deque<CIString> m_lines;
};

// A message parsed from whole head lines; the empty line that ends the head is added.
inline CConnInfo ParseLines(std::vector<std::string> lines, int mode) {
    lines.emplace_back("");
    Lines source(lines);
    CConnInfo info;
    info.ParseHead(source, mode);
    return info;
}

// The status of the error the parser raised, 0 for none, -1 for a failure without a page.
inline int ParseStatus(CConnInfo& info, CConnInfo::LineSource& lines, int mode,
                       CConnInfo::HttpMethod method = CConnInfo::kMethodUnknown) {
    try {
        info.ParseHead(lines, mode, method);
        return 0;
    } catch (const CHTMLErrException& e) {
        return e.Status();
    } catch (const CException&) {
        return -1;
    }
}
