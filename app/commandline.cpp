#include "commandline.h"

#include "serverlogin.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <cstdio>

namespace mv {

namespace {

void print(std::FILE *to, const QString &text)
{
    std::fputs(text.toUtf8().constData(), to);
    std::fflush(to);
}

} // namespace

CommandLine::CommandLine()
    : help_({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("显示本帮助并退出。")),
      version_({QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("显示版本并退出。")),
      database_(QStringLiteral("database"),
                QStringLiteral("使用这个数据库文件（不存在时先询问，再新建），或服务器上的数据库"
                               "（主机:/路径/文件.fdb、主机/端口:别名、inet://主机:端口/路径）。"),
                QStringLiteral("文件")),
      restore_(QStringLiteral("restore"),
               QStringLiteral("把这个备份恢复成数据库旁边的一个新文件（从不覆盖原来的数据库），然后退出。"),
               QStringLiteral("备份文件")),
      user_(QStringLiteral("user"), QStringLiteral("连接服务器上的数据库时使用的用户名。"), QStringLiteral("用户名")),
      passwordFile_(QStringLiteral("password-file"),
                    QStringLiteral("从这个文件的第一行读取服务器密码（文件权限须为 600）。"),
                    QStringLiteral("文件"))
{
    parser_.addOption(help_);
    parser_.addOption(version_);
    parser_.addOption(database_);
    parser_.addOption(restore_);
    parser_.addOption(user_);
    parser_.addOption(passwordFile_);
}

QStringList CommandLine::arguments(int argc, char **argv)
{
    QStringList out;
    for (int i = 0; i < argc; ++i)
        out.append(QString::fromLocal8Bit(argv[i]));
    return out;
}

QString CommandLine::versionText()
{
    return QStringLiteral("Morvane资料系统 %1\n").arg(QCoreApplication::applicationVersion());
}

QString CommandLine::helpText() const
{
    const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return QStringLiteral(
               "用法: %1 [--database 文件] [--user 用户名 --password-file 文件] [--restore 备份文件]\n"
               "Morvane资料系统：按类别整理 HTML 文档的个人资料库。\n"
               "\n"
               "数据库文件：\n"
               "  用 --database 指定的文件；没有指定时，程序旁边的 mvlabnew.fdb（若有）；\n"
               "  否则是用户数据文件夹中的 %2/mvlabnew.fdb，\n"
               "  第一次启动时自动新建，带一个起始类别，没有示例文档。\n"
               "  插入文档的图片放在数据库旁边的 images/ 文件夹里。\n"
               "  每个用户同时只能运行一份本程序。\n"
               "\n"
               "  --database 指定的文件不存在时，先询问，同意后新建一个空数据库。\n"
               "  文件夹不存在或不可写入、文件不可读写、不是数据库或不是本程序的数据库时，\n"
               "  说明原因并退出：不新建任何文件，也不改动其中的数据。\n"
               "\n"
               "服务器上的数据库：\n"
               "  --database 主机:/路径/mvlabnew.fdb（或 主机/端口:别名、inet://主机:端口/路径），\n"
               "  用户名和密码来自 --user 和 --password-file，或者来自设置文件\n"
               "  %3（权限 600；可写 database=、user=、password= 三行）。\n"
               "  本机上名字里带冒号的文件请写成绝对路径或 ./ 开头。\n"
               "\n"
               "退出码：0 正常结束（包括不同意新建时）；1 数据库被拒绝或无法新建；2 参数有误。\n"
               "\n"
               "选项：\n")
               .arg(QCoreApplication::applicationName(), userData, settingsFile())
           // The parser's own list of the options, without its heading lines.
           + parser_.helpText().section(QLatin1Char('\n'), 3);
}

std::optional<int> CommandLine::answerInformation(const QStringList &rawArguments)
{
    // Options of the toolkit's own, not known here, do not stand in the way.
    parser_.parse(rawArguments);
    return printInformation();
}

std::optional<int> CommandLine::printInformation() const
{
    if (parser_.isSet(help_)) {
        print(stdout, helpText());
        return 0;
    }
    if (parser_.isSet(version_)) {
        print(stdout, versionText());
        return 0;
    }
    return std::nullopt;
}

std::optional<int> CommandLine::parse(const QStringList &arguments)
{
    if (!parser_.parse(arguments)) {
        print(stderr, QStringLiteral("参数有误：%1\n用法见 --help。\n").arg(parser_.errorText()));
        return 2;
    }
    if (const std::optional<int> answered = printInformation())
        return answered;
    if (!parser_.positionalArguments().isEmpty()) {
        print(stderr, QStringLiteral("参数有误：多余的参数 %1\n用法见 --help。\n")
                          .arg(parser_.positionalArguments().join(QLatin1Char(' '))));
        return 2;
    }
    if (parser_.isSet(database_) && database().isEmpty()) {
        print(stderr, QStringLiteral("参数有误：--database 需要一个文件名。\n用法见 --help。\n"));
        return 2;
    }
    return std::nullopt;
}

QString CommandLine::database() const
{
    return parser_.value(database_);
}

QString CommandLine::restore() const
{
    return parser_.value(restore_);
}

QString CommandLine::user() const
{
    return parser_.value(user_);
}

QString CommandLine::passwordFile() const
{
    return parser_.value(passwordFile_);
}

QString CommandLine::settingsFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
        .filePath(QString::fromLatin1(ServerLogin::SettingsFileName));
}

} // namespace mv
