#pragma once

#include <QString>

namespace mvtest {

// Makes a folder, and what is in it now, read-only for this process and
// the processes it starts, until destroyed. As root, who may write wherever
// permissions say no, the folder is bound read-only onto itself (what a
// read-only mount looks like); otherwise its write permissions are taken
// away. When neither is possible here, ok() is false and says why.
class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder(const QString &path);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder &) = delete;
    ReadOnlyFolder &operator=(const ReadOnlyFolder &) = delete;

    bool ok() const { return reason_.isEmpty(); }
    QString reason() const { return reason_; }

private:
    QString path_;
    QString reason_;
    bool mounted_ = false;
    bool chmodded_ = false;
};

} // namespace mvtest
