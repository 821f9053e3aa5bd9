// Times the execution order of long chains and of ladders of diamonds (a shape whose paths
// double with every rung), and whole generated texts of growing patches. Only the work itself
// is timed: patches and the template file are made beforehand.
#include "BlockManager.h"
#include "CodeCompiler.h"
#include "TestPatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <list>
#include <vector>

namespace {

QByteArray socketType(const char* name, int inputs, int outputs)
{
    QByteArray xml = QByteArray("<b name=\"") + name + "\"><data name=\"" + name + "\">";
    for (int i = 0; i < inputs; ++i)
        xml += "<v socket=\"in\" value=\"0.5\"/>";
    for (int i = 0; i < outputs; ++i)
        xml += "<v socket=\"out\"/>";
    xml += "<v name=\"gain\" dtype=\"int32_t\" value=\"0.25\"/>";
    return xml + "</data><function name=\"" + name + "_main\"><![CDATA[data->out0 = 0;]]>" +
           "</function></b>";
}

// Best and median of `runs` timings, in milliseconds.
void report(const char* what, int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("%-40s best %9.3f ms   median %9.3f ms   (%d runs)\n", what, times.front(),
                times[times.size() / 2], runs);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

    {
        TestPatch patch;
        const BlockDescription* node = patch.fromXml(socketType("node", 1, 1));
        BlockInstance* previous = patch.add(node);
        for (int i = 1; i < 1000; ++i) {
            BlockInstance* next = patch.add(node);
            patch.connect(previous, 0, next, 0);
            previous = next;
        }
        report("order: chain of 1000 blocks", 50, [&] {
            CodeCompiler compiler;
            compiler.bubbleUp(previous);
        });
    }

    QTemporaryDir dir;
    const QString templatePath = dir.filePath(QStringLiteral("templ.txt"));
    {
        QFile templ(templatePath);
        templ.open(QIODevice::WriteOnly);
        templ.write("#include <stdint.h>\n###dynamic###\nint main(void) { return 0; }\n");
    }
    for (const int rungs : {14, 20}) {
        // Each rung: a split feeding two blocks that join again; the join feeds the next rung.
        TestPatch patch;
        const BlockDescription* split = patch.fromXml(socketType("split", 1, 2));
        const BlockDescription* side = patch.fromXml(socketType("side", 1, 1));
        const BlockDescription* join = patch.fromXml(socketType("join", 2, 1));
        BlockInstance* top = patch.add(split);
        BlockInstance* last = nullptr;
        for (int rung = 0; rung < rungs; ++rung) {
            BlockInstance* left = patch.add(side);
            BlockInstance* right = patch.add(side);
            BlockInstance* joined = patch.add(join);
            patch.connect(top, 0, left, 0);
            patch.connect(top, 1, right, 0);
            patch.connect(left, 0, joined, 0);
            patch.connect(right, 0, joined, 1);
            last = joined;
            if (rung < rungs - 1) {
                BlockInstance* next = patch.add(split);
                patch.connect(joined, 0, next, 0);
                top = next;
            }
        }
        const QByteArray order = "order: ladder of " + QByteArray::number(rungs) + " diamonds";
        report(order.constData(), 50, [&] {
            CodeCompiler compiler;
            compiler.bubbleUp(last);
        });
        const QList<const BlockInstance*> ladder = patch.all();
        const QByteArray code = "createCode: ladder of " + QByteArray::number(rungs) + " diamonds";
        report(code.constData(), 20, [&] {
            CodeCompiler compiler;
            compiler.createCode(ladder, templatePath);
        });
    }
    for (const int count : {100, 1000, 5000}) {
        // Chains of three: a source, a two-input block with one open input, and a table block
        // with an editable array (a type of its own per instance) every tenth chain.
        TestPatch patch;
        const BlockDescription* source = patch.fromXml(socketType("src", 0, 1));
        const BlockDescription* mix = patch.fromXml(socketType("mix", 2, 1));
        const BlockDescription* table = patch.fromXml(
            "<b name=\"table\"><data name=\"table\"><v socket=\"in\"/><v socket=\"out\"/>"
            "<v name=\"t[?]\" dtype=\"int32_t\" editable=\"1\" value=\"1,2,3,4,5,6,7,8\"/>"
            "</data><function type=\"init\" name=\"table_init\">;</function>"
            "<function name=\"table_main\" rate=\"control\"><![CDATA[(void)SMP_RATE;]]>"
            "</function></b>");
        int placed = 0;
        for (int chain = 0; placed + 3 <= count; ++chain, placed += 3) {
            BlockInstance* a = patch.add(source);
            BlockInstance* b = patch.add(mix);
            BlockInstance* c = patch.add(chain % 10 == 0 ? table : mix);
            patch.connect(a, 0, b, 0);
            patch.connect(b, 0, c, 0);
        }
        for (; placed < count; ++placed)
            patch.add(source);
        QList<const BlockInstance*> instances = patch.all();
        std::reverse(instances.begin(), instances.end());
        const QByteArray label = "createCode: " + QByteArray::number(count) + " instances";
        qsizetype size = 0;
        report(label.constData(), count >= 5000 ? 10 : 30, [&] {
            CodeCompiler compiler;
            size = compiler.createCode(instances, templatePath).size();
        });
        std::printf("%-40s %lld characters\n", "", static_cast<long long>(size));
    }
    return 0;
}
