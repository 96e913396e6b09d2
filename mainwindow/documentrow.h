#pragma once

#include <QString>

// One row of the document list: what the grid shows of a document (never
// its content), each value as the database gives it as text.
struct DocumentRow {
    QString id;
    QString title;
    QString date;
    QString typeId;
};
