#include <QTest>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "scpi/scpicommandtable.h"
#include "scpi/scpinumber.h"
#include "scpi/scpisession.h"

using namespace veruziva;

namespace {

const QByteArray InvalidChar = R"(-101,"Invalid character")";
const QByteArray Syntax = R"(-102,"Syntax error")";
const QByteArray DataType = R"(-104,"Data type error")";
const QByteArray NotAllowed = R"(-108,"Parameter not allowed")";
const QByteArray Missing = R"(-109,"Missing parameter")";
const QByteArray Undefined = R"(-113,"Undefined header")";
const QByteArray OutOfRange = R"(-222,"Data out of range")";
const QByteArray Overflow = R"(-350,"Queue overflow")";

QByteArrayList Repeated(const QByteArray& entry, int count) {
    QByteArrayList list;
    for (int i = 0; i < count; ++i) {
        list.append(entry);
    }
    return list;
}

// A parameter written back: numbers in NR3, strings quoted, channel lists spelled out.
QByteArray Described(const ScpiParameter& parameter) {
    switch (parameter.type) {
        case ScpiParameter::Type::Number:
            return ScpiNumber(parameter.number);
        case ScpiParameter::Type::String:
            return '"' + QByteArray(parameter.text).replace('"', "\"\"") + '"';
        case ScpiParameter::Type::Characters:
            return parameter.text;
        case ScpiParameter::Type::ChannelList: {
            QByteArrayList channels;
            for (const int channel : parameter.channels) {
                channels.append(QByteArray::number(channel));
            }
            return "(@" + channels.join(',') + ')';
        }
    }
    return {};
}

// A small instrument: readings, a range setting with its limits, an echo of its parameters.
class Instrument {
public:
    Instrument() {
        m_table.add("*IDN?", [](const ScpiCall&) { return ScpiReply("VERUZIVA,TEST,0,1"); });
        m_table.add("MEASure:VOLTage[:DC]?", [](const ScpiCall&) { return ScpiNumber(1.5); });
        m_table.add("MEASure:VOLTage:AC?", [](const ScpiCall&) { return ScpiNumber(0.25); });
        m_table.add("MEASure:CURRent[:DC]?", [](const ScpiCall&) { return ScpiNumber(-4.5e-3); });
        m_table.add("[SENSe:]RANGe",
                    [this](const ScpiCall& call) -> ScpiReply {
                        const ScpiParameter& value = call.parameters.front();
                        if (value.isCharacters("MINimum") || value.isCharacters("MAXimum")) {
                            m_range = value.isCharacters("MINimum") ? 0.1 : 10.0;
                            return {};
                        }
                        if (value.type != ScpiParameter::Type::Number) {
                            return ScpiError{ScpiCode::DataTypeError, {}};
                        }
                        if (value.number < 0.1 || value.number > 10.0) {
                            return ScpiError{ScpiCode::DataOutOfRange, {}};
                        }
                        m_range = value.number;
                        return {};
                    },
                    {1, 1});
        m_table.add("[SENSe:]RANGe?", [this](const ScpiCall&) { return ScpiNumber(m_range); });
        m_table.add("TRIGger", [](const ScpiCall&) {
            return ScpiReply(ScpiError{ScpiCode::SettingsConflict, R"(no "input")"});
        });
        // Raises the error numbered.
        m_table.add("FAIL",
                    [](const ScpiCall& call) {
                        return ScpiReply(
                            ScpiError{static_cast<ScpiCode>(call.parameters.front().number), {}});
                    },
                    {1, 1});
        m_table.add("ECHO?",
                    [](const ScpiCall& call) {
                        QByteArrayList texts;
                        for (const ScpiParameter& parameter : call.parameters) {
                            texts.append(Described(parameter) + parameter.suffix);
                        }
                        return ScpiReply(texts.join(','));
                    },
                    {0, 8, true});
        // Answers once `ready` is set, telling whether it was called again.
        m_table.add("MEASure:FRESh?", [this](const ScpiCall& call) {
            m_resumedCalls.append(call.resumed);
            return ready ? ScpiReply("7") : ScpiReply::Wait();
        });
    }
    const ScpiCommandTable& table() const { return m_table; }

    bool ready = false;
    QList<bool> m_resumedCalls;

private:
    ScpiCommandTable m_table;
    double m_range = 1.0;
};

}  // namespace

class TestScpi : public QObject {
    Q_OBJECT

private slots:
    void execute_data();
    void execute();
    void inputOverrun();
    void waitAndResume();
    void number_data();
    void number();
    void badPattern_data();
    void badPattern();
};

void TestScpi::execute_data() {
    // Lines run one after another in one session; their responses joined; the error queue after.
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QByteArrayList>("errors");

    const QByteArray volts = "+1.5E+00\n";
    const QByteArray idn = "VERUZIVA,TEST,0,1\n";
    QTest::newRow("long form") << QByteArray("MEASURE:VOLTAGE:DC?") << volts << QByteArrayList{};
    QTest::newRow("short form") << QByteArray("MEAS:VOLT?") << volts << QByteArrayList{};
    QTest::newRow("any case") << QByteArray("meAs:Voltage:dc?") << volts << QByteArrayList{};
    QTest::newRow("between the forms")
        << QByteArray("MEASU:VOLT?") << QByteArray() << QByteArrayList{Undefined};
    QTest::newRow("optional node left out")
        << QByteArray("RANG 2;RANG?") << QByteArray("+2.0E+00\n") << QByteArrayList{};
    QTest::newRow("optional node given") << QByteArray("SENS:RANG 0.5;:sense:range?")
                                         << QByteArray("+5.0E-01\n") << QByteArrayList{};
    QTest::newRow("query as command")
        << QByteArray("MEAS:VOLT") << QByteArray() << QByteArrayList{Undefined};
    QTest::newRow("command as query")
        << QByteArray("TRIG?") << QByteArray() << QByteArrayList{Undefined};
    QTest::newRow("implied path") << QByteArray("MEAS:VOLT?;CURR?")
                                  << QByteArray("+1.5E+00;-4.5E-03\n") << QByteArrayList{};
    QTest::newRow("implied path, deeper")
        << QByteArray("MEAS:VOLT:DC?;AC?") << QByteArray("+1.5E+00;+2.5E-01\n") << QByteArrayList{};
    QTest::newRow("implied path, not the root")
        << QByteArray("MEAS:VOLT?;ECHO? 1") << volts << QByteArrayList{Undefined};
    QTest::newRow("root again") << QByteArray("MEAS:VOLT?;:ECHO? 1")
                                << QByteArray("+1.5E+00;+1.0E+00\n") << QByteArrayList{};
    QTest::newRow("next line from the root")
        << QByteArray("MEAS:VOLT?\nCURR?") << volts << QByteArrayList{Undefined};
    QTest::newRow("common command keeps the path")
        << QByteArray("MEAS:VOLT?;*OPC?;CURR?") << QByteArray("+1.5E+00;1;-4.5E-03\n")
        << QByteArrayList{};
    QTest::newRow("common commands chained")
        << QByteArray("*CLS;*ESE 36;*ESE?;*WAI;*IDN?") << QByteArray("36;VERUZIVA,TEST,0,1\n")
        << QByteArrayList{};
    QTest::newRow("command error drops the rest")
        << QByteArray("*IDN?;BAD;*OPC?") << idn << QByteArrayList{Undefined};
    QTest::newRow("execution error goes on")
        << QByteArray("RANG 99;RANG?") << QByteArray("+1.0E+00\n") << QByteArrayList{OutOfRange};
    QTest::newRow("error with detail")
        << QByteArray("TRIG") << QByteArray()
        << QByteArrayList{R"(-221,"Settings conflict;no ""input""")"};
    QTest::newRow("error classes")
        << QByteArray(
               "FAIL -100;*OPC?\n*ESR?\nFAIL -200;*OPC?\n*ESR?\nFAIL -300\n*ESR?\nFAIL "
               "-400\n*ESR?\nFAIL -199")
        << QByteArray("32\n1\n16\n8\n4\n")
        << QByteArrayList{R"(-100,"Command error")", R"(-200,"Execution error")",
                          R"(-300,"Device-specific error")", R"(-400,"Query error")",
                          R"(-199,"Command error")"};
    QTest::newRow("missing parameter")
        << QByteArray("RANG") << QByteArray() << QByteArrayList{Missing};
    QTest::newRow("parameter too many") << QByteArray("RANG 1,2\n*IDN? 1") << QByteArray()
                                        << QByteArrayList{NotAllowed, NotAllowed};
    QTest::newRow("parameter of another type")
        << QByteArray("RANG 'one'\nRANG maxi\n*ESE ON") << QByteArray()
        << QByteArrayList{DataType, DataType, DataType};
    QTest::newRow("mnemonic parameter") << QByteArray("RANG maximum;RANG?;RANG MIN;RANG?")
                                        << QByteArray("+1.0E+01;+1.0E-01\n") << QByteArrayList{};
    QTest::newRow("header syntax") << QByteArray("MEAS::VOLT?\nMEAS:VOLT?:DC\n*1\nRANG,1\n:\n*")
                                   << QByteArray() << Repeated(Syntax, 6);
    QTest::newRow("strings") << QByteArray(R"(ECHO? 'a;b',"say ""hi""",'(';*OPC?)")
                             << QByteArray(R"("a;b","say ""hi""","(";1)"
                                           "\n")
                             << QByteArrayList{};
    QTest::newRow("string unclosed") << QByteArray("ECHO? 'abc;*OPC?\nECHO? 'a'b") << QByteArray()
                                     << QByteArrayList{Syntax, Syntax};
    QTest::newRow("channel lists")
        << QByteArray("ECHO? (@1),(@1,2),(@1:3),(@ 3 : 1 );*OPC?")
        << QByteArray("(@1),(@1,2),(@1,2,3),(@3,2,1);1\n") << QByteArrayList{};
    QTest::newRow("channel list wrong")
        << QByteArray("ECHO? (@1:)\nECHO? (@)\nECHO? (1)\nECHO? (@-1)\nECHO? (@1") << QByteArray()
        << Repeated(Syntax, 5);
    QTest::newRow("channel list too long")
        << QByteArray("ECHO? (@1:100000000);*OPC?\nECHO? (@1:200,1:200)") << QByteArray("1\n")
        << QByteArrayList{OutOfRange, OutOfRange};
    QTest::newRow("numbers") << QByteArray("ECHO? 5,-0.25,+1.5E-3,.5,7.,2e+2,1e-999")
                             << QByteArray(
                                    "+5.0E+00,-2.5E-01,+1.5E-03,+5.0E-01,+7.0E+00,"
                                    "+2.0E+02,+0.0E+00\n")
                             << QByteArrayList{};
    QTest::newRow("numbers wrong")
        << QByteArray("FAIL 1V\nECHO? 1e\nECHO? +\nECHO? #H1F\nECHO? -inf\nECHO? 1e999")
        << QByteArray()
        << QByteArrayList{R"(-138,"Suffix not allowed")"} + Repeated(Syntax, 4) +
               QByteArrayList{OutOfRange};
    QTest::newRow("suffix units") << QByteArray("ECHO? 3A,300 mV,1e3V,2.5E-3 s")
                                  << QByteArray("+3.0E+00A,+3.0E+02mV,+1.0E+03V,+2.5E-03s\n")
                                  << QByteArrayList{};
    QTest::newRow("character data")
        << QByteArray("ECHO? max , DEF_2") << QByteArray("max,DEF_2\n") << QByteArrayList{};
    QTest::newRow("empty parameter")
        << QByteArray("ECHO? 1,,2\nECHO? 1,") << QByteArray() << QByteArrayList{Syntax, Syntax};
    QTest::newRow("blank units") << QByteArray(";; *OPC? ;\t;\r") << QByteArray("1\n")
                                 << QByteArrayList{};
    QTest::newRow("empty line") << QByteArray("") << QByteArray() << QByteArrayList{};
    QTest::newRow("control characters")
        << QByteArray("*IDN?\x01\nMEAS:\x7fVOLT?\n*IDN?;\xff\nECHO? \x1b") << idn
        << Repeated(InvalidChar, 4);
    QTest::newRow("bytes inside a string") << QByteArray("ECHO? '\x01\xc3\xa9'")
                                           << QByteArray("\"\x01\xc3\xa9\"\n") << QByteArrayList{};
    QTest::newRow("long tokens") << QByteArray(70000, 'A') + "?\nECHO? " + QByteArray(400, '9')
                                 << QByteArray() << QByteArrayList{Undefined, OutOfRange};
    QTest::newRow("queue overflow") << QByteArray("BAD\n").repeated(25).chopped(1) << QByteArray()
                                    << Repeated(Undefined, 19) + QByteArrayList{Overflow};
    QTest::newRow("error queue read")
        << QByteArray("BAD\nRANG 0\nSYST:ERR?;:SYSTEM:ERROR:NEXT?;COUN?;NEXT?")
        << QByteArray(R"(-113,"Undefined header";-222,"Data out of range";0;0,"No error")"
                      "\n")
        << QByteArrayList{};
    QTest::newRow("event status bits")
        << QByteArray("BAD\nRANG 99\n*OPC;*ESR?;*ESR?") << QByteArray("49;0\n")
        << QByteArrayList{Undefined, OutOfRange};
    QTest::newRow("overflow is a device error")
        << QByteArray("BAD\n").repeated(21) + "*ESR?" << QByteArray("40\n")
        << Repeated(Undefined, 19) + QByteArrayList{Overflow};
    QTest::newRow("status byte: error available")
        << QByteArray("*STB?\nBAD\n*STB?") << QByteArray("0\n4\n") << QByteArrayList{Undefined};
    QTest::newRow("status byte: event summary, service")
        << QByteArray("*ESE 32;*SRE 32\nBAD\n*STB?\n*SRE 4;*ESE 16;*STB?\n*SRE 0;*STB?")
        << QByteArray("100\n68\n4\n") << QByteArrayList{Undefined};
    QTest::newRow("clear status") << QByteArray("*ESE 255\nBAD\n*CLS;*STB?;*ESR?;*ESE?;SYST:ERR?")
                                  << QByteArray(R"(0;0;255;0,"No error")"
                                                "\n")
                                  << QByteArrayList{};
    QTest::newRow("registers' range")
        << QByteArray("*ESE 256\n*ESE -1\n*SRE 255;*SRE?;*ESE 3.6;*ESE?") << QByteArray("191;4\n")
        << QByteArrayList{OutOfRange, OutOfRange};
    QTest::newRow("version") << QByteArray("SYST:VERS?") << QByteArray("1999.0\n")
                             << QByteArrayList{};
}

void TestScpi::execute() {
    QFETCH(QByteArray, lines);
    QFETCH(QByteArray, response);
    QFETCH(QByteArrayList, errors);

    Instrument instrument;
    ScpiSession session(instrument.table());
    QByteArray responses;
    for (const QByteArray& line : lines.split('\n')) {
        responses += session.execute(line);
    }
    QCOMPARE(responses, response);
    QByteArrayList queue;
    for (int i = session.status().errorCount(); i > 0; --i) {
        queue.append(session.status().nextError());
    }
    QCOMPARE(queue, errors);
}

void TestScpi::inputOverrun() {
    Instrument instrument;
    ScpiSession session(instrument.table());
    session.inputOverrun();
    QCOMPARE(session.execute("*ESR?;SYST:ERR?"), QByteArray(R"(8;-363,"Input buffer overrun")"
                                                            "\n"));
}

void TestScpi::waitAndResume() {
    // A line stops at a query that waits; its answers so far, its path and the rest are held.
    Instrument instrument;
    ScpiSession session(instrument.table());
    QCOMPARE(session.execute("MEAS:VOLT?;FRESH?;VOLT:AC?;:FAIL -200"), QByteArray());
    QVERIFY(session.waiting());
    QCOMPARE(session.resume(), QByteArray());
    QVERIFY(session.waiting());
    instrument.ready = true;
    QCOMPARE(session.resume(), QByteArray("+1.5E+00;7;+2.5E-01\n"));
    QVERIFY(!session.waiting());
    QCOMPARE(session.resume(), QByteArray());
    QCOMPARE(instrument.m_resumedCalls, (QList<bool>{false, true, true}));
    QCOMPARE(session.status().nextError(), QByteArray(R"(-200,"Execution error")"));
    // A new line forgets a held one.
    instrument.ready = false;
    QCOMPARE(session.execute("MEAS:FRESH?"), QByteArray());
    QCOMPARE(session.execute("*OPC?"), QByteArray("1\n"));
    QVERIFY(!session.waiting());
}

void TestScpi::number_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");

    const double infinity = std::numeric_limits<double>::infinity();
    QTest::newRow("nine digits") << 1.23456789 << QByteArray("+1.23456789E+00");
    QTest::newRow("rounded to nine") << -1234567891234.0 << QByteArray("-1.23456789E+12");
    QTest::newRow("rounded up a decade") << 9.9999999999 << QByteArray("+1.0E+01");
    QTest::newRow("zeros dropped") << -4.5e-3 << QByteArray("-4.5E-03");
    QTest::newRow("one") << 1.0 << QByteArray("+1.0E+00");
    QTest::newRow("a tenth") << 0.1 << QByteArray("+1.0E-01");
    QTest::newRow("zero") << 0.0 << QByteArray("+0.0E+00");
    QTest::newRow("negative zero") << -0.0 << QByteArray("+0.0E+00");
    QTest::newRow("three exponent digits") << 2.5e-300 << QByteArray("+2.5E-300");
    QTest::newRow("overload") << infinity << QByteArray("+9.9E+37");
    QTest::newRow("negative overload") << -infinity << QByteArray("-9.9E+37");
    QTest::newRow("beyond overload") << 1e38 << QByteArray("+9.9E+37");
    QTest::newRow("not a number") << std::nan("") << QByteArray("+9.91E+37");
}

void TestScpi::number() {
    QFETCH(double, value);
    QFETCH(QByteArray, text);
    QCOMPARE(ScpiNumber(value), text);
}

void TestScpi::badPattern_data() {
    QTest::addColumn<QByteArray>("pattern");
    for (const char* pattern : {"", "?", "*", "*1DN?", "[SENSe:RANGe", "[]:RANGe", "MEAS:1V",
                                "MEAS:VOLT DC", "MEAS?:VOLT"}) {
        QTest::newRow(pattern) << QByteArray(pattern);
    }
}

void TestScpi::badPattern() {
    QFETCH(QByteArray, pattern);
    ScpiCommandTable table;
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, table.add(pattern, {}));
}

QTEST_GUILESS_MAIN(TestScpi)
#include "tst_scpi.moc"
