#include "editordriver.h"

#include "UnitTemp.h"
#include "uHtmlEdit.h"

#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QToolButton>

namespace mvtest {

const QString Added = QStringLiteral("info|Morvane资料系统V1.0|数据已经成功添加!");
const QString Changed = QStringLiteral("info|Morvane资料系统V1.0|数据已经成功修改!");
const QString Deleted = QStringLiteral("info|Morvane资料系统V1.0|已经成功删除!");
const QString DeleteQuestion = QStringLiteral("question|删除提示|您确定删除本记录吗?");
const QString SaveQuestion =
    QStringLiteral("savequestion|保存提示|文档的标题、类别或内容已经修改，还没有保存。\n关闭之前要保存吗？");

QVariant js(TfmTemp &ed, const QString &script) { return ed.HtmlEdit1->Document()->Evaluate(script); }

QString bodyHtml(TfmTemp &ed) { return js(ed, QStringLiteral("return document.body.innerHTML;")).toString(); }

void typeBody(TfmTemp &ed, const QString &html)
{
    js(ed, QStringLiteral("document.body.innerHTML = %1;").arg(THtmlDocument::quote(html)));
}

void selectElement(TfmTemp &ed, const QString &id)
{
    js(ed, QStringLiteral("var r = document.createRange();"
                          "r.selectNodeContents(document.getElementById('%1'));"
                          "var s = getSelection(); s.removeAllRanges(); s.addRange(r);")
               .arg(id));
}

QString recordState(TfmTemp &ed)
{
    QString s;
    for (QToolButton *b : {ed.sbAdd, ed.sbEdit, ed.sbCancel, ed.sbDel, ed.sbSave})
        s += b->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    const QString design = js(ed, QStringLiteral("return document.designMode;")).toString();
    const bool readOnly = ed.HtmlEdit1->ReadOnly();
    if (readOnly != (design == QLatin1String("off")))
        return s + QStringLiteral(" mismatch");
    return s + (readOnly ? QStringLiteral(" R") : QStringLiteral(" W"));
}

bool writeBitmap(const QString &path)
{
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(Qt::red);
    return image.save(path, "BMP");
}

void choosePicture(QFileDialog *d, const QString &path)
{
    d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
    static_cast<QDialog *>(d)->accept();
}

} // namespace mvtest
