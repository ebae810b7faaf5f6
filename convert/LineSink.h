#pragma once

#include <QStringView>

#include <initializer_list>

namespace dorvane {

class TStringList;

// Where a conversion puts its output lines. A line is given as pieces that the
// sink joins, so that building an entry needs no temporary strings.
class LineSink {
public:
    virtual ~LineSink() = default;
    virtual void addLine(std::initializer_list<QStringView> pieces) = 0;
    // Replaces an earlier line (the WMP item count in the header).
    virtual void replaceLine(int index, std::initializer_list<QStringView> pieces) = 0;
};

// Appends to a line list.
class StringListSink final : public LineSink {
public:
    explicit StringListSink(TStringList& list) : m_list(list) {}
    void addLine(std::initializer_list<QStringView> pieces) override;
    void replaceLine(int index, std::initializer_list<QStringView> pieces) override;

private:
    TStringList& m_list;
};

} // namespace dorvane
