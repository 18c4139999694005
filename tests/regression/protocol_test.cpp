// The child-output line protocol: what the writers put on the wire and how the
// reader splits it back into records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Kernel/OutOfMemory.h"
#include "regression/ChildOutput.h"

namespace {

using Kernel::String;

TEST(ProtocolReader, RecognisesRecordsOnlyAtTheStartOfTheLine) {
    struct Case {
        std::string line;
        ChildRecordKind kind;
        std::string payload;
    };
    const Case cases[] = {
        {"[START]Load unit", ChildRecordKind::Start, "Load unit"},
        {"[START]", ChildRecordKind::Start, ""},
        {"[END]", ChildRecordKind::End, ""},
        {"[END] and more text", ChildRecordKind::End, " and more text"},
        {"[INFO]Done", ChildRecordKind::Info, "Done"},
        {"[FAIL]", ChildRecordKind::Fail, ""},
        {"[FAIL]  spaced ", ChildRecordKind::Fail, "  spaced "},
        {"[FAIL]crlf\r", ChildRecordKind::Fail, "crlf\r"},
        {"[COMMAND]7|Flatten", ChildRecordKind::Command, "7|Flatten"},
        {" [FAIL]leading blank", ChildRecordKind::None, ""},
        {"\r[FAIL]left-over carriage return", ChildRecordKind::None, ""},
        {"[fail]lower case", ChildRecordKind::None, ""},
        {"[FAI", ChildRecordKind::None, ""},
        {"", ChildRecordKind::None, ""},
        {"[InitBackend] assert: a.cpp:3 (x)", ChildRecordKind::None, ""},
        {std::string("[INFO]a\0b", 9), ChildRecordKind::Info, std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        String payload("stale");
        EXPECT_EQ(RecogniseChildRecord(String(c.line), payload), c.kind) << c.line;
        EXPECT_EQ(payload.ToStd(), c.payload) << c.line;
    }
}

TEST(ProtocolReader, SplitStringDropsEmptyPieces) {
    struct Case {
        std::string text;
        const char* delimiters;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"", "|", {}},
        {"|||", "|", {}},
        {"a", "|", {"a"}},
        {"a|b", "|", {"a", "b"}},
        {"|a||b|", "|", {"a", "b"}},
        {"a,b;c", ",;", {"a", "b", "c"}},
        {"a b", "", {"a b"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (const String& piece : SplitString(String(c.text), c.delimiters)) got.push_back(piece.ToStd());
        EXPECT_EQ(got, c.pieces) << c.text;
    }
}

TEST(ProtocolReader, SplitCommandRecordByPayloadShape) {
    struct Case {
        std::string payload, identifier, name;
    };
    const Case cases[] = {
        {"id|Name", "id", "Name"},
        {"id", "id", ""},
        {"id|", "id", ""},
        {"|Name", "Name", ""},
        {"id||Name", "id", "Name"},
        {"id|Na|me", "id", ""},
        {"", "", ""},
        {"||", "", ""},
    };
    for (const Case& c : cases) {
        auto [identifier, name] = SplitCommandRecord(String(c.payload));
        EXPECT_EQ(identifier.ToStd(), c.identifier) << c.payload;
        EXPECT_EQ(name.ToStd(), c.name) << c.payload;
    }
}

// Runs the writers with standard output captured.
template <class Body>
std::string CaptureRecords(Body body) {
    testing::internal::CaptureStdout();
    body();
    return testing::internal::GetCapturedStdout();
}

TEST(ProtocolWriter, WritesEachRecordAsOneLine) {
    std::string out = CaptureRecords([] {
        RegressionLogSection section(String("Render comparison"));
        EXPECT_EQ(CurrentRegressionLogSection, &section);
        RegressionLogInfo(String("Done"));
        RegressionLogCommand(String("42"), String("Fill"));
        RegressionLogCommand(String("43"), String());
    });
    EXPECT_EQ(out, "[START]Render comparison\n[INFO]Done\n[COMMAND]42|Fill\n[COMMAND]43|\n[END]\n");
    EXPECT_EQ(CurrentRegressionLogSection, nullptr);

    EXPECT_EQ(CaptureRecords([] { RegressionLogSection empty{String()}; }), "[START]\n[END]\n");
}

TEST(ProtocolWriter, PayloadsCannotBreakTheLine) {
    struct Case {
        std::string payload, wire;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"two\nlines", "two lines"},
        {"crlf\r\n", "crlf  "},
        {"\r", " "},
        {"bad\n[END]\n[START]Other", "bad [END] [START]Other"},  // no forged records
        {std::string("cut\0after", 9), "cut"},
        {std::string("x\n\0y", 4), "x "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SanitiseRecordPayload(String(c.payload)).ToStd(), c.wire);
        EXPECT_EQ(CaptureRecords([&] { RegressionLogInfo(String(c.payload)); }), "[INFO]" + c.wire + "\n");
    }
    EXPECT_EQ(CaptureRecords([] { RegressionLogCommand(String("a\nb"), String("c\rd")); }), "[COMMAND]a b|c d\n");
}

TEST(ProtocolWriter, FailureReportedStaysSetAndSectionsDoNotNest) {
    std::string out = CaptureRecords([] {
        RegressionLogFail(String("first"));
        EXPECT_TRUE(FailureReported);
        RegressionLogSection outer(String("outer"));
        {
            RegressionLogSection inner(String("inner"));
            EXPECT_EQ(CurrentRegressionLogSection, &inner);
            RegressionLogInfo(String("passed"));
        }
        EXPECT_EQ(CurrentRegressionLogSection, nullptr);  // the first "[END]" closes the only current one
    });
    EXPECT_TRUE(FailureReported);
    EXPECT_EQ(out, "[FAIL]first\n[START]outer\n[START]inner\n[INFO]passed\n[END]\n[END]\n");
}

// Memory that runs out is the failure of the open test, or, outside any, of a test of its own.
TEST(ProtocolWriter, MemoryThatRunsOutFailsTheOpenTestOrOneOfItsOwn) {
    const auto runOut = [] { Kernel::ThrowOutOfMemory("a tile slab", 4194304); };
    EXPECT_EQ(CaptureRecords([&] {
                  RegressionLogSection section(String("Undo test"));
                  EXPECT_FALSE(RunReportingOutOfMemory("Unit test sequence", runOut));
              }),
              "[START]Undo test\n[FAIL]out of memory: a tile slab of 4194304 bytes\n[END]\n");
    EXPECT_EQ(CaptureRecords([&] { EXPECT_FALSE(RunReportingOutOfMemory("Tilestore optimisation", runOut)); }),
              "[START]Tilestore optimisation\n[FAIL]out of memory: a tile slab of 4194304 bytes\n[END]\n");
    EXPECT_EQ(CurrentRegressionLogSection, nullptr);
}

}  // namespace
