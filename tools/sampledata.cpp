#include "sampledata.h"

#include "UnitDM.h"

namespace mv {

void fillSampleData(TmvlabDm &dm)
{
    struct Cat { int id; int parent; const char *name; };
    static const Cat cats[] = {
        {2, 1, "工作笔记"}, {3, 1, "读书摘录"}, {4, 2, "项目计划"}, {5, 2, "会议记录"},
        {6, 0, "生活"},     {7, 6, "菜谱"},
    };
    struct Doc { int id; int type; const char *title; const char *body; };
    static const Doc docs[] = {
        {1, 4, "二〇二六年计划", "<BODY><P><STRONG>目标</STRONG>：完成资料整理。</P><UL><LI>第一季度</LI><LI>第二季度</LI></UL></BODY>"},
        {2, 5, "周一例会", "<BODY><P>参会人员：全体。</P><P>议题：进度与风险。</P></BODY>"},
        {3, 3, "摘录：学而时习之", "<BODY><P><EM>学而时习之，不亦说乎？</EM></P></BODY>"},
        {4, 7, "番茄炒蛋", "<BODY><H3>番茄炒蛋</H3><P>番茄两个，鸡蛋三个，盐少许。</P></BODY>"},
    };
    dm.runUnit([&] {
        mv::db::Query q(dm.IBDatabaseMV);
        q.setSql(QStringLiteral("insert into type(id,parentid,typename) values(:id,:parent,:name)"));
        for (const Cat &c : cats) {
            q.setParam(QStringLiteral("id"), QString::number(c.id));
            q.setParam(QStringLiteral("parent"), QString::number(c.parent));
            q.setParam(QStringLiteral("name"), QString::fromUtf8(c.name));
            q.execute();
        }
        q.setSql(QStringLiteral("insert into documents(id,title,content,typeid)  values(:id,:title,:content,:typeid)"));
        for (const Doc &d : docs) {
            q.setParam(QStringLiteral("id"), QString::number(d.id));
            q.setParam(QStringLiteral("title"), QString::fromUtf8(d.title));
            q.setParam(QStringLiteral("content"), QString::fromUtf8(d.body));
            q.setParam(QStringLiteral("typeid"), QString::number(d.type));
            q.execute();
        }
    });
}

} // namespace mv
