// Behaviour of the math, logic, routing and mixing blocks, each row a run of generated code:
// the worked cases of the block definitions, their thresholds and rounding, and the guards
// against division by zero, overflowing quotients, shift counts and out-of-range positions.
#include "BlockHarness.h"
#include "TestMain.h"

#include <QtTest>

namespace {

// Every block of this family once, under a short label; one program serves all rows.
const char* const patch = R"(
num = i0o1_number value=2.5
add = i2o1_add
sub = i2o1_subtract
mul = i2o1_multiply
mulk = i1o1_multiply
div = i2o1_divide
mod = i2o1_modulo
abs = i1o1_abs
floor = i1o1_floor
sq = i1o1_squared
shift = i2o1_bitshift
not = i1o1_not
or = i2o1_or
bits = i2o1_and
less = i2o2_less
greater = i2o2_greater
split = i1o2_split
split4 = i1o4_split4
split8 = i1o8_split8
knob = f_knobmap
map = i5o1_maplin
pan = i2o2_pan
fade = i3o1_fade
fade4 = f_fade4
mix2 = i4o1_mix2
mix4 = i8o1_mix4
lcr = i3o3_LCR
sel8 = i9o1_select
sel16 = i16o1_select
dist = i2o8_dist
)";

// "set label.in<first> v0; set label.in<first+1> v1; ..." for consecutive inputs.
QString inputs(const QString& label, const QList<qint64>& values, int first = 0)
{
    QStringList parts;
    for (int i = 0; i < values.size(); ++i)
        parts << QString("set %1.in%2 %3").arg(label).arg(first + i).arg(values.at(i));
    return parts.join("; ");
}

// Inputs set, one call at audio rate, then the named outputs read.
QString call(const QString& label, const QList<qint64>& values, const QString& outputs = "out0")
{
    QString script = inputs(label, values) + "; audio 1";
    for (const QString& out : outputs.split(' '))
        script += QString("; get %1.%2").arg(label, out);
    return script;
}

} // namespace

class TestMathBlocks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void behaviour_data();
    void behaviour();

private:
    BlockHarness harness;
};

void TestMathBlocks::initTestCase()
{
    QString error;
    QVERIFY2(!harness.program(patch, &error).isEmpty(), qPrintable(error));
}

void TestMathBlocks::behaviour_data()
{
    QList<BlockHarness::Case> cases;
    const qint64 min = -2147483648LL;
    const qint64 max = 2147483647LL;

    cases << BlockHarness::Case{"number gives its value x 1024", patch,
                                "audio 1; get num.out0; get num.value", "2560; 2560"};
    cases << BlockHarness::Case{"add", patch, call("add", {1024, 512}), "1536"};
    cases << BlockHarness::Case{"add wraps", patch, call("add", {max, 1}), "-2147483648"};
    cases << BlockHarness::Case{"subtract", patch, call("sub", {100, 300}), "-200"};

    cases << BlockHarness::Case{"multiply 1024 by 1024", patch, call("mul", {1024, 1024}), "1024"};
    cases << BlockHarness::Case{"multiply 50000 by 50000", patch, call("mul", {50000, 50000}),
                                "2439844"};
    cases << BlockHarness::Case{"multiply 512 by -512", patch, call("mul", {512, -512}), "-256"};
    cases << BlockHarness::Case{"multiply 46340 by 46340, no pre-shift", patch,
                                call("mul", {46340, 46340}), "2097066"};
    cases << BlockHarness::Case{"multiply 50000 by 1024, one pre-shift", patch,
                                call("mul", {50000, 1024}), "49984"};
    cases << BlockHarness::Case{"multiply -50000 by 2048, shifts round down", patch,
                                call("mul", {-50000, 2048}), "-100032"};

    cases << BlockHarness::Case{"multiply by 269.66 of 1", patch, call("mulk", {1024}), "276134"};
    cases << BlockHarness::Case{"multiply by 269.66 of 0.5", patch, call("mulk", {512}), "138067"};
    cases << BlockHarness::Case{"multiply by 269.66 of -1", patch, call("mulk", {-1024}),
                                "-276134"};
    cases << BlockHarness::Case{"multiply by 269.66 of 50000, pre-shifted", patch,
                                call("mulk", {50000}), "13478790"};
    // The pre-shift starts above 46340 (45.25) either way: below it the product wraps.
    cases << BlockHarness::Case{"multiply by 269.66 of 19.53, no pre-shift, wraps", patch,
                                call("mulk", {20000}), "1198938"};
    cases << BlockHarness::Case{"multiply by 269.66 of 46340, no pre-shift, wraps", patch,
                                call("mulk", {46340}), "-86770"};
    cases << BlockHarness::Case{"multiply by 269.66 of 46341, pre-shifted", patch,
                                call("mulk", {46341}), "12495063"};
    cases << BlockHarness::Case{"multiply by 269.66 of -46340, no pre-shift, wraps", patch,
                                call("mulk", {-46340}), "86769"};
    cases << BlockHarness::Case{"multiply by 269.66 of -46341, pre-shifted", patch,
                                call("mulk", {-46341}), "-12503693"};

    cases << BlockHarness::Case{"divide 1024 by 512", patch, call("div", {1024, 512}), "2048"};
    cases << BlockHarness::Case{"divide -1024 by 512", patch, call("div", {-1024, 512}), "-2048"};
    cases << BlockHarness::Case{"divide 3 by 1024 keeps the fraction", patch,
                                call("div", {3, 1024}), "3"};
    cases << BlockHarness::Case{"divide 1024 by 1024", patch, call("div", {1024, 1024}), "1024"};
    cases << BlockHarness::Case{"divide 1024 by 3072", patch, call("div", {1024, 3072}), "341"};
    cases << BlockHarness::Case{"divide 1024 by -2048", patch, call("div", {1024, -2048}), "-512"};
    cases << BlockHarness::Case{"divide 2^25 by 1024: numerator shift 5", patch,
                                call("div", {33554432, 1024}), "33554432"};
    cases << BlockHarness::Case{"divide 2^30 by 2^20: no numerator shift", patch,
                                call("div", {1073741824, 1048576}), "1048576"};
    // Guards: a divisor of 0 gives 0; -1 wraps like the rest instead of trapping.
    cases << BlockHarness::Case{"divide by 0 gives 0", patch, call("div", {1024, 0}), "0"};
    cases << BlockHarness::Case{"divide -1024 by 0 gives 0", patch, call("div", {-1024, 0}), "0"};
    cases << BlockHarness::Case{"divide the lowest value by 0 gives 0", patch,
                                call("div", {min, 0}), "0"};
    cases << BlockHarness::Case{"divide 1024 by -1", patch, call("div", {1024, -1}), "-1048576"};
    cases << BlockHarness::Case{"divide the lowest value by -1", patch, call("div", {min, -1}),
                                "0"};

    cases << BlockHarness::Case{"modulo 5 by 2", patch, call("mod", {5120, 2048}), "1024"};
    cases << BlockHarness::Case{"modulo -5 by 2 keeps the sign of A", patch,
                                call("mod", {-5120, 2048}), "-1024"};
    cases << BlockHarness::Case{"modulo 5 by -2", patch, call("mod", {5120, -2048}), "1024"};
    cases << BlockHarness::Case{"modulo 0.75 by 0.5", patch, call("mod", {768, 512}), "256"};
    // Guards.
    cases << BlockHarness::Case{"modulo by 0 passes A", patch, call("mod", {5120, 0}), "5120"};
    cases << BlockHarness::Case{"modulo of the lowest value by 0 passes it", patch,
                                call("mod", {min, 0}), "-2147483648"};
    cases << BlockHarness::Case{"modulo of the lowest value by -1 is 0", patch,
                                call("mod", {min, -1}), "0"};
    cases << BlockHarness::Case{"modulo by -1 is 0", patch, call("mod", {7, -1}), "0"};

    cases << BlockHarness::Case{"abs of -300", patch, call("abs", {-300}), "300"};
    cases << BlockHarness::Case{"abs of 300", patch, call("abs", {300}), "300"};

    cases << BlockHarness::Case{"floor of -1", patch, call("floor", {-1}), "-1024"};
    cases << BlockHarness::Case{"floor of 2.7", patch, call("floor", {2765}), "2048"};
    cases << BlockHarness::Case{"floor of 1023", patch, call("floor", {1023}), "0"};
    cases << BlockHarness::Case{"floor of -1024", patch, call("floor", {-1024}), "-1024"};

    cases << BlockHarness::Case{"square of 1", patch, call("sq", {1024}), "1024"};
    cases << BlockHarness::Case{"square of 0.5", patch, call("sq", {512}), "256"};
    cases << BlockHarness::Case{"square of -0.5", patch, call("sq", {-512}), "256"};
    cases << BlockHarness::Case{"square of 46340", patch, call("sq", {46340}), "2097066"};
    cases << BlockHarness::Case{"square of 46341, pre-shifted", patch, call("sq", {46341}),
                                "2096704"};
    cases << BlockHarness::Case{"square of 50000", patch, call("sq", {50000}), "2439844"};
    // Guard: the lower side is pre-shifted too, so a large negative square stays positive.
    cases << BlockHarness::Case{"square of -46340", patch, call("sq", {-46340}), "2097066"};
    cases << BlockHarness::Case{"square of -50000, pre-shifted", patch, call("sq", {-50000}),
                                "2442969"};

    cases << BlockHarness::Case{"bitshift left by 1", patch, call("shift", {100, 1024}), "200"};
    cases << BlockHarness::Case{"bitshift by -2048 shifts right by 2", patch,
                                call("shift", {4096, -2048}), "1024"};
    cases << BlockHarness::Case{"bitshift by -1 shifts right by 1", patch, call("shift", {100, -1}),
                                "50"};
    cases << BlockHarness::Case{"bitshift right is arithmetic", patch, call("shift", {-100, -1024}),
                                "-50"};
    cases << BlockHarness::Case{"bitshift by 0.9 does not shift", patch, call("shift", {100, 921}),
                                "100"};
    cases << BlockHarness::Case{"bitshift left by 31 reaches the sign", patch,
                                call("shift", {1, 31744}), "-2147483648"};
    // Guard: the count is taken modulo 32.
    cases << BlockHarness::Case{"bitshift by 32 is by 0", patch, call("shift", {100, 32768}),
                                "100"};
    cases << BlockHarness::Case{"bitshift by 33 is by 1", patch, call("shift", {100, 33792}),
                                "200"};
    cases << BlockHarness::Case{"bitshift by -32 is by 0", patch, call("shift", {100, -32768}),
                                "100"};
    cases << BlockHarness::Case{"bitshift by -33 is right by 1", patch,
                                call("shift", {100, -33792}), "50"};
    cases << BlockHarness::Case{"bitshift by the lowest count", patch, call("shift", {100, min}),
                                "100"};
    cases << BlockHarness::Case{"bitshift by the highest count is by 31", patch,
                                call("shift", {1, max}), "-2147483648"};

    cases << BlockHarness::Case{"not of 0", patch, call("not", {0}), "1024"};
    cases << BlockHarness::Case{"not of 1", patch, call("not", {1}), "0"};
    cases << BlockHarness::Case{"not of -1", patch, call("not", {-1}), "0"};
    cases << BlockHarness::Case{"or of 0 and 0", patch, call("or", {0, 0}), "0"};
    cases << BlockHarness::Case{"or of 0 and -5", patch, call("or", {0, -5}), "1024"};
    cases << BlockHarness::Case{"or of 1 and 0", patch, call("or", {1, 0}), "1024"};

    const QString allBits = "out0 out1 out2 out3 out4 out5 out6 out7";
    cases << BlockHarness::Case{"bit split of 5", patch, call("bits", {5120}, allBits),
                                "0; 0; 0; 0; 0; 1024; 0; 1024"};
    cases << BlockHarness::Case{"bit split of 255", patch, call("bits", {255 * 1024}, allBits),
                                "1024; 1024; 1024; 1024; 1024; 1024; 1024; 1024"};
    cases << BlockHarness::Case{"bit split of 256 shows the low eight bits", patch,
                                call("bits", {256 * 1024}, allBits), "0; 0; 0; 0; 0; 0; 0; 0"};
    cases << BlockHarness::Case{"bit split of 1.5 is 1", patch, call("bits", {1536}, allBits),
                                "0; 0; 0; 0; 0; 0; 0; 1024"};
    cases << BlockHarness::Case{"bit split of 0.999 is 0", patch, call("bits", {1023}, allBits),
                                "0; 0; 0; 0; 0; 0; 0; 0"};
    cases << BlockHarness::Case{"bit split of 130", patch, call("bits", {130 * 1024}, allBits),
                                "1024; 0; 0; 0; 0; 0; 1024; 0"};

    cases << BlockHarness::Case{"less of 3 and 5", patch, call("less", {3, 5}, "out0 out1"),
                                "1024; 3"};
    cases << BlockHarness::Case{"less of 5 and 3", patch, call("less", {5, 3}, "out0 out1"),
                                "0; 3"};
    cases << BlockHarness::Case{"less of equal inputs gives in1", patch,
                                call("less", {7, 7}, "out0 out1"), "0; 7"};
    cases << BlockHarness::Case{"greater of 5 and 3", patch, call("greater", {5, 3}, "out0 out1"),
                                "1024; 5"};
    cases << BlockHarness::Case{"greater of 3 and 5", patch, call("greater", {3, 5}, "out0 out1"),
                                "0; 5"};
    cases << BlockHarness::Case{
        "greater of equal inputs gives in1", patch,
        inputs("greater", {-4, -4}) + "; audio 1; get greater.out0; get greater.out1", "0; -4"};

    cases << BlockHarness::Case{"split", patch, call("split", {-77}, "out0 out1"), "-77; -77"};
    cases << BlockHarness::Case{"split 4", patch, call("split4", {5}, "out0 out1 out2 out3"),
                                "5; 5; 5; 5"};
    cases << BlockHarness::Case{"split 8", patch, call("split8", {6}, allBits),
                                "6; 6; 6; 6; 6; 6; 6; 6"};

    cases << BlockHarness::Case{"knob map 0.5 over 0.1 + 0.4", patch, call("knob", {512, 102, 409}),
                                "306"};
    cases << BlockHarness::Case{"knob map with its defaults passes the knob", patch,
                                call("knob", {1024}), "1024"};
    cases << BlockHarness::Case{"knob map truncates toward zero", patch,
                                call("knob", {-3, 0, 1024}), "0"};
    cases << BlockHarness::Case{"knob map of -0.5", patch, call("knob", {-512, 0, 1024}), "-512"};

    cases << BlockHarness::Case{"map 0.5 from 0..1 onto 0.2..0.8", patch,
                                call("map", {512, 0, 1024, 204, 614}), "511"};
    cases << BlockHarness::Case{"map 1 from 0..1 onto 0.2..0.8", patch,
                                call("map", {1024, 0, 1024, 204, 614}), "818"};
    cases << BlockHarness::Case{"map onto a reversed range", patch,
                                call("map", {512, 0, -1024, 0, 1024}), "-512"};
    // Guards: an empty source span maps onto To low; -1 wraps instead of trapping.
    cases << BlockHarness::Case{"map with a source span of 0 gives To low", patch,
                                call("map", {5000, 0, 0, 300, 1024}), "300"};
    cases << BlockHarness::Case{"map with a source span of 0 and extreme values", patch,
                                call("map", {min, max, 0, -7, max}), "-7"};
    cases << BlockHarness::Case{"map of the lowest scaled value by -1 wraps", patch,
                                call("map", {-8388608, 0, -1, 0, 1}), "-8388608"};

    cases << BlockHarness::Case{"pan centre", patch, call("pan", {1000, 512}, "out0 out1"),
                                "500; 500"};
    cases << BlockHarness::Case{"pan left", patch, call("pan", {1000, 0}, "out0 out1"), "1000; 0"};
    cases << BlockHarness::Case{"pan right", patch, call("pan", {1000, 1024}, "out0 out1"),
                                "0; 1000"};
    cases << BlockHarness::Case{"crossfade a quarter of the way", patch,
                                call("fade", {1000, -1000, 256}), "500"};
    cases << BlockHarness::Case{"crossfade at 0 gives A", patch, call("fade", {1000, -1000, 0}),
                                "1000"};

    const QString sources = inputs("fade4", {100, 200, 300, 400});
    auto fade4 = [&sources](qint64 position) {
        return sources + QString("; set fade4.in4 %1; audio 1; get fade4.out0").arg(position);
    };
    cases << BlockHarness::Case{"fade4 at 1024 gives in0", patch, fade4(1024), "100"};
    cases << BlockHarness::Case{"fade4 at 2048 gives in1", patch, fade4(2048), "200"};
    cases << BlockHarness::Case{"fade4 at 3072 gives in2", patch, fade4(3072), "300"};
    cases << BlockHarness::Case{"fade4 at 4096 gives in3", patch, fade4(4096), "400"};
    cases << BlockHarness::Case{"fade4 at 2560 blends in1 and in2 half-way", patch, fade4(2560),
                                "250"};
    cases << BlockHarness::Case{"fade4 at 3584 blends in2 and in3 half-way", patch, fade4(3584),
                                "350"};
    cases << BlockHarness::Case{"fade4 at 1280 blends a quarter of in1", patch, fade4(1280), "125"};
    cases << BlockHarness::Case{"fade4 above 4096 stays on in3", patch, fade4(5000), "400"};
    cases << BlockHarness::Case{"fade4 at the highest position", patch, fade4(max), "400"};
    // Guard: below 1024 there is nothing before in0, so it stays on in0.
    cases << BlockHarness::Case{"fade4 at 1023 stays on in0", patch, fade4(1023), "100"};
    cases << BlockHarness::Case{"fade4 at 512 stays on in0", patch, fade4(512), "100"};
    cases << BlockHarness::Case{"fade4 at 0 stays on in0", patch, fade4(0), "100"};
    cases << BlockHarness::Case{"fade4 at -5000 stays on in0", patch, fade4(-5000), "100"};
    cases << BlockHarness::Case{"fade4 at the lowest position stays on in0", patch, fade4(min),
                                "100"};

    cases << BlockHarness::Case{"mix 2", patch, call("mix2", {1000, 512, 400, 1024}), "900"};
    cases << BlockHarness::Case{"mix 4 shifts each term on its own", patch,
                                call("mix4", {3, 512, 3, 512, 3, 512, 3, 512}), "4"};
    cases << BlockHarness::Case{"mix 4 with its default levels adds", patch,
                                inputs("mix4", {100}, 0) + "; " + inputs("mix4", {20}, 2) + "; " +
                                    inputs("mix4", {3}, 4) + "; " + inputs("mix4", {-1000}, 6) +
                                    "; audio 1; get mix4.out0",
                                "-877"};
    cases << BlockHarness::Case{"LCR", patch, call("lcr", {100, 20, 3}, "out0 out1 out2"),
                                "120; 123; 23"};

    const QString eight = inputs("sel8", {100, 101, 102, 103, 104, 105, 106, 107});
    auto sel8 = [&eight](qint64 sel) {
        return eight + QString("; set sel8.in8 %1; audio 1; get sel8.out0").arg(sel);
    };
    cases << BlockHarness::Case{"select 8 below 0 gives in0", patch, sel8(-1), "100"};
    cases << BlockHarness::Case{"select 8 at the lowest sel gives in0", patch, sel8(min), "100"};
    cases << BlockHarness::Case{"select 8 at 0 gives in0", patch, sel8(0), "100"};
    cases << BlockHarness::Case{"select 8 at 1023 gives in0", patch, sel8(1023), "100"};
    cases << BlockHarness::Case{"select 8 at 1024 gives in1", patch, sel8(1024), "101"};
    cases << BlockHarness::Case{"select 8 at 2047 gives in1", patch, sel8(2047), "101"};
    cases << BlockHarness::Case{"select 8 at 2048 gives in2", patch, sel8(2048), "102"};
    cases << BlockHarness::Case{"select 8 at 7167 gives in6", patch, sel8(7167), "106"};
    cases << BlockHarness::Case{"select 8 at 7168 gives in7", patch, sel8(7168), "107"};
    cases << BlockHarness::Case{"select 8 above 7168 gives in7", patch, sel8(100000), "107"};
    cases << BlockHarness::Case{"select 8 at the highest sel gives in7", patch, sel8(max), "107"};

    QList<qint64> sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen << 200 + i;
    const QString sixteenSet = inputs("sel16", sixteen);
    auto sel16 = [&sixteenSet](qint64 sel) {
        return sixteenSet + QString("; set sel16.in16 %1; audio 1; get sel16.out0").arg(sel);
    };
    cases << BlockHarness::Case{"select 16 below 1024 gives in0", patch, sel16(1023), "200"};
    cases << BlockHarness::Case{"select 16 below 0 gives in0", patch, sel16(-5), "200"};
    cases << BlockHarness::Case{"select 16 at 1024 gives in1", patch, sel16(1024), "201"};
    cases << BlockHarness::Case{"select 16 at 14335 gives in13", patch, sel16(14335), "213"};
    cases << BlockHarness::Case{"select 16 at 14336 gives in14", patch, sel16(14336), "214"};
    cases << BlockHarness::Case{"select 16 at 15359 gives in14", patch, sel16(15359), "214"};
    cases << BlockHarness::Case{"select 16 at 15360 gives in15", patch, sel16(15360), "215"};
    cases << BlockHarness::Case{"select 16 far above gives in15", patch, sel16(1000000), "215"};
    cases << BlockHarness::Case{"select 16 at the highest sel gives in15", patch, sel16(max),
                                "215"};

    const QString thru = inputs("dist", {99, 10, 11, 12, 13, 14, 15, 16, 17});
    auto dist = [&thru, &allBits](qint64 sel) {
        QString script = thru + QString("; set dist.in9 %1; audio 1").arg(sel);
        for (const QString& out : allBits.split(' '))
            script += "; get dist." + out;
        return script;
    };
    cases << BlockHarness::Case{"distribute at 0 overwrites out0", patch, dist(0),
                                "99; 11; 12; 13; 14; 15; 16; 17"};
    cases << BlockHarness::Case{"distribute at 3072 overwrites out3", patch, dist(3072),
                                "10; 11; 12; 99; 14; 15; 16; 17"};
    cases << BlockHarness::Case{"distribute at 7168 overwrites out7", patch, dist(7168),
                                "10; 11; 12; 13; 14; 15; 16; 99"};
    cases << BlockHarness::Case{"distribute below 0 overwrites out0", patch, dist(-1),
                                "99; 11; 12; 13; 14; 15; 16; 17"};
    cases << BlockHarness::Case{"distribute far above overwrites out7", patch, dist(max),
                                "10; 11; 12; 13; 14; 15; 16; 99"};
    cases << BlockHarness::Case{
        "distribute moves on: the old output passes its own input again", patch,
        thru + "; set dist.in9 1024; audio 1; set dist.in9 2048; audio 1; get dist.out1;"
               " get dist.out2",
        "11; 99"};
    harness.addCaseRows(cases);
}

void TestMathBlocks::behaviour()
{
    QFETCH(QString, answers);
    QFETCH(QString, expected);
    QCOMPARE(answers, expected);
}

KL_TEST_MAIN(TestMathBlocks)

#include "test_math_blocks.moc"
