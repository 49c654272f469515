#pragma once

// The record that BoxDriver.exe writes: one line per event, UTF-8, fields
// separated by tabs. Inside a field "\\", "\t", "\r" and "\n" stand for a
// backslash, a tab, a carriage return and a line feed.
//
//   seen    <pid> <caption>
//   box     <pid> <caption> <text> <buttons> <icon> <pressed> <picture>
//   window  <pid> <class> <title> <left> <top> <width> <height>
//           <client width> <client height> <style> <frame> <picture> <bitmap>
//
// "seen" is written as soon as a message box is noticed, "box" once it has
// been answered. <buttons> lists the buttons by their command ("OK", "Yes",
// "No", "Cancel", ...) joined by ","; <icon> is "none", "critical",
// "exclamation", "information", "question" or "unknown"; <pressed> is the
// command sent. <picture> is the file name of the PNG in the picture folder,
// empty when none was saved. <style> is the window style in hex digits.
// <frame> counts the differing pictures of one window from 1; <bitmap> is the
// full path of the same picture as BMP.
//
// Header-only, so that the tests that read a record share the escaping.

#include <string>
#include <vector>

namespace morvane::box_driver {

inline std::string escapeField(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

inline std::string unescapeField(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char next = text[++i];
        out.push_back(next == 't' ? '\t' : next == 'r' ? '\r' : next == 'n' ? '\n' : next);
    }
    return out;
}

// The fields of one record line, unescaped.
inline std::vector<std::string> splitRecordLine(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(unescapeField(line.substr(start, tab - start)));
        if (tab == std::string::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

inline std::string joinRecordLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i != 0) {
            line.push_back('\t');
        }
        line += escapeField(fields[i]);
    }
    return line;
}

}  // namespace morvane::box_driver
