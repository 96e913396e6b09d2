#include "generator.h"

#include "UnitDM.h"
#include "fbsql.h"
#include "gbkcodec.h"
#include "schema.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <random>
#include <stdexcept>
#include <vector>

namespace mvbench {

namespace {

constexpr int CommitEvery = 2000;
constexpr int TitleMaxBytes = 100;
constexpr int ContentMaxBytes = 100 * 1024;

// Draws from mt19937 by multiply-shift rather than through the standard
// distributions, whose results differ between library implementations: the
// same seed gives the same database everywhere.
class Rng
{
public:
    explicit Rng(quint32 seed) : mt_(seed) {}
    // 0 <= r < n
    int below(int n) { return int((quint64(mt_()) * quint64(n)) >> 32); }
    // lo <= r <= hi
    int range(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool percent(int p) { return below(100) < p; }
    template <class T>
    const T &pick(const std::vector<T> &v) { return v[size_t(below(int(v.size())))]; }
    template <class T>
    void shuffle(std::vector<T> &v)
    {
        for (size_t i = v.size(); i > 1; --i)
            std::swap(v[i - 1], v[size_t(below(int(i)))]);
    }

private:
    std::mt19937 mt_;
};

// Every character we write is either ASCII or a GBK double-byte character.
int gbkBytes(const QString &s)
{
    int n = 0;
    for (QChar c : s)
        n += c.unicode() < 0x80 ? 1 : 2;
    return n;
}

struct Piece {
    QString text;
    int bytes;
};

std::vector<Piece> pieces(const char *const *words, size_t count)
{
    std::vector<Piece> r;
    r.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const QString s = QString::fromUtf8(words[i]);
        r.push_back({s, gbkBytes(s)});
    }
    return r;
}

// Everyday vocabulary of notes, work documents and clippings.
const char *const Words[] = {
    "我们", "今天", "工作", "问题", "方法", "系统", "数据", "资料", "文档", "管理",
    "分析", "设计", "开发", "测试", "用户", "需求", "项目", "计划", "总结", "报告",
    "会议", "讨论", "决定", "进度", "风险", "质量", "成本", "时间", "技术", "方案",
    "服务器", "数据库", "网络", "软件", "硬件", "程序", "代码", "接口", "模块", "功能",
    "性能", "安全", "备份", "恢复", "配置", "安装", "升级", "版本", "文件", "目录",
    "学习", "阅读", "笔记", "摘录", "经验", "知识", "理论", "实践", "思考", "观点",
    "中国", "北京", "上海", "广州", "城市", "地区", "国家", "社会", "经济", "文化",
    "历史", "教育", "学校", "老师", "学生", "朋友", "家庭", "孩子", "父母", "生活",
    "健康", "饮食", "运动", "旅行", "天气", "春天", "夏天", "秋天", "冬天", "早上",
    "晚上", "昨天", "明天", "已经", "正在", "可以", "需要", "应该", "能够", "必须",
    "非常", "比较", "特别", "主要", "重要", "简单", "复杂", "清楚", "具体", "一般",
    "如果", "因为", "所以", "但是", "而且", "或者", "虽然", "然后", "并且", "只有",
    "一个", "这个", "那个", "每个", "一些", "所有", "部分", "整个", "其他", "相关",
    "提高", "改进", "完成", "开始", "结束", "继续", "保持", "发现", "解决", "处理",
    "记录", "整理", "保存", "查询", "修改", "删除", "添加", "打印", "发送", "下载",
    "公司", "部门", "经理", "同事", "客户", "市场", "产品", "价格", "合同", "财务",
    "的", "了", "和", "是", "在", "有", "也", "都", "就", "要",
    "很", "会", "对", "把", "被", "让", "给", "从", "向", "到",
    "信息", "内容", "标题", "类别", "结构", "格式", "图片", "表格", "链接", "页面",
    "编辑", "说明", "窗口", "菜单", "按钮", "字体", "颜色", "大小", "位置", "方式",
};

const char *const Terms[] = {
    "Firebird", "SQL", "HTML", "Windows", "Qt", "C++", "TCP/IP", "UTF-8", "GBK", "Excel",
    "Word", "PDF", "USB", "CPU", "3.5", "100", "2026", "12", "1024", "80%",
};

const char *const NameWords[] = {
    "我的资料", "工作", "笔记", "读书", "摘录", "项目", "计划", "会议", "记录", "生活",
    "菜谱", "旅行", "健康", "学习", "技术", "编程", "数据库", "网络", "文章", "收藏",
    "财务", "合同", "客户", "产品", "历史", "文学", "诗词", "音乐", "电影", "摄影",
    "家庭", "孩子", "教育", "法律", "医疗", "常用", "资料", "备忘", "日记", "其他",
    "一月", "二月", "三月", "第一期", "第二期", "草稿", "归档", "临时", "重要", "参考",
};

const char *const Tags[] = {"【转载】", "【原创】", "【笔记】", "（续）", "（一）", "（二）"};

const char *const Colors[] = {"#ff0000", "#0000ff", "#008000", "#800080", "#215a89"};

class TextMaker
{
public:
    explicit TextMaker(Rng &rng)
        : rng_(rng), words_(pieces(Words, std::size(Words))), terms_(pieces(Terms, std::size(Terms))),
          names_(pieces(NameWords, std::size(NameWords))), tags_(pieces(Tags, std::size(Tags)))
    {
    }

    QString categoryName()
    {
        const Piece *last = &rng_.pick(names_);
        QString s = last->text;
        const int extra = rng_.percent(60) ? rng_.range(1, 2) : 0;
        for (int i = 0; i < extra; ++i) {
            const Piece *next = &rng_.pick(names_);
            if (next == last)
                continue;
            // Some names carry a blank: only the first word travels in mode strings.
            if (rng_.percent(20))
                s += QLatin1Char(' ');
            s += next->text;
            last = next;
        }
        return s;
    }

    // At most TitleMaxBytes GBK bytes; a few titles fill the column exactly.
    QString title()
    {
        QString s;
        int bytes = 0;
        auto add = [&](const Piece &p) {
            s += p.text;
            bytes += p.bytes;
        };
        if (rng_.percent(10))
            add(rng_.pick(tags_));
        const bool full = rng_.percent(5);
        const int words = full ? 60 : rng_.range(2, 9);
        for (int i = 0; i < words && bytes <= TitleMaxBytes; ++i) {
            if (rng_.percent(8)) {
                add(rng_.pick(terms_));
            } else {
                add(rng_.pick(words_));
            }
        }
        while (bytes > TitleMaxBytes) {
            bytes -= s.back().unicode() < 0x80 ? 1 : 2;
            s.chop(1);
        }
        return s;
    }

    // A BODY element as the HTML engine serialises it; contentBytes gets its
    // size in GBK bytes.
    QString document(int &contentBytes)
    {
        const int target = targetBytes();
        out_.clear();
        out_.reserve(target + 4096);
        bytes_ = 0;
        put(QStringLiteral("<BODY>"));
        while (bytes_ < target)
            block();
        put(QStringLiteral("\r\n</BODY>"));
        contentBytes = bytes_;
        return out_;
    }

private:
    // Mostly a few KB, some tens of KB, now and then close to 100 KB;
    // about 5 KB on average.
    int targetBytes()
    {
        const int r = rng_.below(1000);
        if (r < 880)
            return rng_.range(1000, 5500);
        if (r < 990)
            return rng_.range(6000, 20000);
        return rng_.range(20000, ContentMaxBytes - 4096);
    }

    void put(const QString &s) { put(s, gbkBytes(s)); }
    void put(const QString &s, int bytes)
    {
        out_ += s;
        bytes_ += bytes;
    }
    void put(const Piece &p) { put(p.text, p.bytes); }

    void word()
    {
        if (rng_.percent(4)) {
            put(rng_.pick(terms_));
            return;
        }
        const Piece &w = rng_.pick(words_);
        switch (rng_.below(60)) {
        case 0:
            put(QStringLiteral("<STRONG>"));
            put(w);
            put(QStringLiteral("</STRONG>"));
            break;
        case 1:
            put(QStringLiteral("<EM>"));
            put(w);
            put(QStringLiteral("</EM>"));
            break;
        case 2:
            put(QStringLiteral("<FONT color=%1>").arg(QLatin1String(Colors[rng_.below(int(std::size(Colors)))])));
            put(w);
            put(QStringLiteral("</FONT>"));
            break;
        case 3:
            put(QStringLiteral("<A href=\"http://www.example.com/doc/%1.html\">").arg(rng_.range(1, 99999)));
            put(w);
            put(QStringLiteral("</A>"));
            break;
        default:
            put(w);
        }
    }

    void sentence()
    {
        const int n = rng_.range(4, 14);
        for (int i = 0; i < n; ++i) {
            word();
            if (i + 1 < n && rng_.percent(12))
                put(QStringLiteral("，"), 2);
        }
        const int end = rng_.below(20);
        put(end == 0 ? QStringLiteral("？") : end == 1 ? QStringLiteral("！") : QStringLiteral("。"), 2);
    }

    void paragraph(int sentences)
    {
        for (int i = 0; i < sentences; ++i)
            sentence();
    }

    void block()
    {
        put(QStringLiteral("\r\n"));
        const int r = rng_.below(100);
        if (r < 55) {
            put(QStringLiteral("<P>"));
            paragraph(rng_.range(1, 5));
            put(QStringLiteral("</P>"));
        } else if (r < 60) {
            put(QStringLiteral("<P>"));
            paragraph(rng_.range(1, 2));
            put(QStringLiteral("<BR>"));
            paragraph(rng_.range(1, 2));
            put(QStringLiteral("</P>"));
        } else if (r < 65) {
            put(QStringLiteral("<H3>"));
            for (int i = rng_.range(2, 5); i > 0; --i)
                put(rng_.pick(words_));
            put(QStringLiteral("</H3>"));
        } else if (r < 77) {
            const bool ordered = rng_.percent(25);
            put(ordered ? QStringLiteral("<OL>") : QStringLiteral("<UL>"));
            for (int i = rng_.range(2, 8); i > 0; --i) {
                put(QStringLiteral("\r\n  <LI>"));
                sentence();
            }
            put(ordered ? QStringLiteral("</OL>") : QStringLiteral("</UL>"));
        } else if (r < 85) {
            table();
        } else if (r < 91) {
            put(QStringLiteral("<P><IMG src=\"file:///D:/资料/图片/IMG_%1.jpg\" width=%2 height=%3></P>")
                    .arg(rng_.range(1, 9999), 4, 10, QLatin1Char('0'))
                    .arg(rng_.range(100, 800))
                    .arg(rng_.range(80, 600)));
        } else if (r < 94) {
            put(QStringLiteral("<P>&nbsp;</P>"));
        } else {
            put(QStringLiteral("<P><STRONG>"));
            sentence();
            put(QStringLiteral("</STRONG></P>"));
        }
    }

    void table()
    {
        const int cols = rng_.range(2, 5);
        const int rows = rng_.range(2, 12);
        put(QStringLiteral("<TABLE border=1 cellSpacing=0 cellPadding=2 width=\"100%\">\r\n<TBODY>"));
        for (int r = 0; r < rows; ++r) {
            put(QStringLiteral("\r\n<TR>"));
            for (int c = 0; c < cols; ++c) {
                put(QStringLiteral("\r\n<TD>"));
                if (r == 0 || rng_.percent(30)) {
                    put(rng_.pick(words_));
                } else if (rng_.percent(40)) {
                    put(QString::number(rng_.range(0, 100000)));
                } else {
                    for (int i = rng_.range(1, 4); i > 0; --i)
                        put(rng_.pick(words_));
                }
                put(QStringLiteral("</TD>"));
            }
            put(QStringLiteral("</TR>"));
        }
        put(QStringLiteral("</TBODY></TABLE>"));
    }

    Rng &rng_;
    std::vector<Piece> words_, terms_, names_, tags_;
    QString out_;
    int bytes_ = 0;
};

// Parent of every category (index = id; parents[0] unused). Category 1 is
// top level. Every other category hangs below an earlier (smaller) id of its
// own group, or, outside the designated subtree, sometimes at the top level.
// Picking often among the most recent ids of the group gives chains a few
// levels deeper than a uniform pick would.
std::vector<int> makeTree(Rng &rng, int categories, const std::vector<bool> &inSubtree)
{
    std::vector<int> parents(size_t(categories) + 1, 0);
    std::vector<int> mainGroup{1}, subGroup;
    auto parentFrom = [&](const std::vector<int> &group) {
        if (rng.percent(40)) {
            const int recent = std::min<int>(20, int(group.size()));
            return group[group.size() - size_t(1 + rng.below(recent))];
        }
        return rng.pick(group);
    };
    for (int id = 2; id <= categories; ++id) {
        if (inSubtree[size_t(id)]) {
            parents[size_t(id)] = id == 2 ? 1 : parentFrom(subGroup);
            subGroup.push_back(id);
        } else {
            parents[size_t(id)] = rng.percent(1) ? 0 : parentFrom(mainGroup);
            mainGroup.push_back(id);
        }
    }
    return parents;
}

} // namespace

GenStats generate(const QString &dbPath, int categories, int documents, quint32 seed, int subtreeCategories,
                  int subtreeDocuments)
{
    if (categories < 1)
        throw std::invalid_argument("at least one category is needed");
    if (documents < 0 || subtreeCategories < 0 || subtreeDocuments < 0)
        throw std::invalid_argument("sizes cannot be negative");
    if (subtreeCategories > categories - 1)
        throw std::invalid_argument("the subtree must leave category 1 outside it");
    if (subtreeDocuments > documents)
        throw std::invalid_argument("the subtree cannot hold more documents than there are");
    if (subtreeDocuments > 0 && subtreeCategories == 0)
        throw std::invalid_argument("subtree documents need a subtree");

    QElapsedTimer clock;
    clock.start();
    Rng rng(seed);
    TextMaker text(rng);

    // Which ids form the subtree below category 2: 2 itself and a random
    // choice among 3..N, so the subtree's ids are spread over the table.
    std::vector<bool> inSubtree(size_t(categories) + 1, false);
    std::vector<int> subtreeIds, otherIds;
    if (subtreeCategories > 0) {
        std::vector<int> rest;
        for (int id = 3; id <= categories; ++id)
            rest.push_back(id);
        rng.shuffle(rest);
        inSubtree[2] = true;
        for (int i = 0; i < subtreeCategories - 1; ++i)
            inSubtree[size_t(rest[size_t(i)])] = true;
    }
    for (int id = 1; id <= categories; ++id)
        (inSubtree[size_t(id)] ? subtreeIds : otherIds).push_back(id);
    const std::vector<int> parents = makeTree(rng, categories, inSubtree);

    // Rows go in shuffled, so the table's natural order is not id order.
    std::vector<int> order;
    for (int id = 2; id <= categories; ++id)
        order.push_back(id);
    rng.shuffle(order);

    // Which documents go into the subtree.
    std::vector<char> docInSubtree(size_t(documents), 0);
    std::fill_n(docInSubtree.begin(), subtreeDocuments, char(1));
    rng.shuffle(docInSubtree);

    mv::createSchemaDatabase(dbPath);
    GenStats stats{1, 0, 0, 0.0};
    mv::db::Connection conn(dbPath, TmvlabDm::UserName, TmvlabDm::Password);
    try {
        mv::db::Query q(conn);
        // Rows go in units of CommitEvery.
        const auto inUnits = [&](int count, const std::function<void(int)> &row) {
            for (int from = 0; from < count; from += CommitEvery)
                conn.runUnit([&] {
                    for (int i = from; i < std::min(count, from + CommitEvery); ++i)
                        row(i);
                });
        };

        q.setSql(QStringLiteral("insert into type(id,parentid,typename) values(:id,:parentid,:typename)"));
        inUnits(int(order.size()), [&](int i) {
            const int id = order[size_t(i)];
            q.setParam(QStringLiteral("id"), QString::number(id));
            q.setParam(QStringLiteral("parentid"), QString::number(parents[size_t(id)]));
            q.setParam(QStringLiteral("typename"), text.categoryName());
            q.execute();
            ++stats.categories;
        });

        q.setSql(QStringLiteral("insert into documents(id,title,content,typeid) values(:id,:title,:content,:typeid)"));
        inUnits(documents, [&](int i) {
            const std::vector<int> &pool = docInSubtree[size_t(i)] ? subtreeIds : otherIds;
            int bytes = 0;
            q.setParam(QStringLiteral("id"), QString::number(i + 1));
            q.setParam(QStringLiteral("title"), text.title());
            q.setParam(QStringLiteral("content"), text.document(bytes));
            q.setParam(QStringLiteral("typeid"), QString::number(rng.pick(pool)));
            q.execute();
            ++stats.documents;
            stats.contentBytes += bytes;
        });
        q.close();
        conn.close();
    } catch (...) {
        // Leave no half-filled file behind for a benchmark to pick up.
        try {
            conn.close();
        } catch (...) {
        }
        QFile::remove(dbPath);
        throw;
    }
    stats.seconds = double(clock.nsecsElapsed()) / 1e9;
    return stats;
}

struct DocumentMaker::Impl {
    explicit Impl(quint32 seed) : rng(seed), text(rng) {}
    Rng rng;
    TextMaker text;
};

DocumentMaker::DocumentMaker(quint32 seed) : d_(std::make_unique<Impl>(seed)) {}

DocumentMaker::~DocumentMaker() = default;

QString DocumentMaker::title()
{
    return d_->text.title();
}

QString DocumentMaker::document()
{
    int bytes = 0;
    return d_->text.document(bytes);
}

int DocumentMaker::below(int n)
{
    return d_->rng.below(n);
}

QString richBody(int bytes)
{
    const QString para = QStringLiteral(
        "<p>第%1段：资料系统把文档按类别归档，<b>粗体</b>、<i>斜体</i>与<font color=\"#ff0000\">彩色文字</font>"
        "混排。The quick brown fox jumps over the lazy dog; 数字 12345 与标点“引号”。</p>\r\n");
    QString body = QStringLiteral("<BODY>");
    qsizetype stored = 0;
    for (int n = 1; stored < bytes; ++n) {
        const QString p = para.arg(n);
        stored += mv::GbkCodec::encode(p).size();
        body += p;
    }
    return body + QStringLiteral("<p id=\"last\">完</p></BODY>");
}

} // namespace mvbench
