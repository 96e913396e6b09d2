#pragma once

#include <QString>
#include <QTest>
#include <QWidget>

namespace mvtest {

// Types text into widget one character at a time, as the keyboard (or an
// input method) would send it: any character, not only Latin-1, and a
// character outside the BMP as one key.
inline void typeText(QWidget *widget, const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString one = text.mid(i, n);
        QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, one, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, one, Qt::NoModifier);
        i += n - 1;
    }
}

} // namespace mvtest
