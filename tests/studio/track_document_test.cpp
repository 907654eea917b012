// Track documents: texts that come back byte for byte, comments that stay with
// their keys through edits, and errors that name the line as build does.
#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <fstream>
#include <limits>

#include "tools/studio/model/track_document.h"
#include "tracks/track_text.h"

namespace fs = std::filesystem;

namespace {

std::string file_text(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TrackDocument parsed(std::string_view text) {
    TrackDocument document;
    std::string error;
    EXPECT_TRUE(track_document_parse("t", text, document, error)) << error;
    return document;
}

void expect_same_keys(const std::vector<Keyframe>& got, const std::vector<Keyframe>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(keyframe_same(got[i], want[i])) << "key " << i;
}

// A document's text read again by build's parser gives the document's keys.
void expect_builds_to_own_keys(const TrackDocument& document) {
    const TrackText built = track_text_parse(track_document_text(document));
    ASSERT_EQ(built.error_line, 0) << built.error;
    expect_same_keys(built.keys, track_document_keys(document));
}

const std::string COMMENTED =
    "# opening: what the track is\n"
    "#\n"
    "\n"
    "# bars 1-4\n"
    "0 0.3 smoothstep\n"
    "  10\t1.5   linear  # the rise\n"
    "# bars 5-8\n"
    "20 2 hold\n"
    "\n"
    "# the end\n";

TEST(TrackDocumentRead, ShippedTextsComeBackByteForByte) {
    size_t texts = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(ZIRBELON_ASSETS_DIR) / "tracks")) {
        if (entry.path().extension() != ".txt") continue;
        ++texts;
        const std::string text = file_text(entry.path());
        TrackDocument document;
        std::string error;
        ASSERT_TRUE(track_document_parse(entry.path().stem().string(), text, document, error)) << error;
        EXPECT_EQ(track_document_text(document), text) << entry.path();
        const TrackText built = track_text_parse(text);
        expect_same_keys(track_document_keys(document), built.keys);

        // Putting back the same keys is no edit either.
        track_document_set_keys(document, track_document_keys(document));
        EXPECT_EQ(track_document_text(document), text) << entry.path();
    }
    EXPECT_EQ(texts, 5u);
}

TEST(TrackDocumentRead, AttachesEachCommentToTheKeyBelowIt) {
    const TrackDocument document = parsed(COMMENTED);
    ASSERT_EQ(document.keys.size(), 3u);
    EXPECT_EQ(document.keys[0].lines_before,
              (std::vector<std::string>{"# opening: what the track is", "#", "", "# bars 1-4"}));
    EXPECT_TRUE(document.keys[1].lines_before.empty());
    EXPECT_EQ(document.keys[1].line, "  10\t1.5   linear  # the rise");
    EXPECT_EQ(document.keys[2].lines_before, (std::vector<std::string>{"# bars 5-8"}));
    EXPECT_EQ(document.lines_after, (std::vector<std::string>{"", "# the end"}));
    EXPECT_EQ(document.name, "t");
    expect_same_keys(track_document_keys(document), {{0, 0.3f, 2}, {10, 1.5f, 1}, {20, 2.0f, 0}});
}

TEST(TrackDocumentRead, KeepsLineEndsAndAMissingFinalNewline) {
    for (const std::string text : {"0 1 hold\r\n# note\r\n5 2 linear\r\n", "0 1 hold\n5 2 linear", "# only\n",
                                   "", "\n\n", "0 1 hold\r\n5 2 linear"}) {
        const TrackDocument document = parsed(text);
        EXPECT_EQ(track_document_text(document), text);
    }
    EXPECT_TRUE(parsed("0 1 hold\r\n").crlf);
    EXPECT_FALSE(parsed("0 1 hold\n").crlf);
    EXPECT_FALSE(parsed("0 1 hold").final_newline);
}

TEST(TrackDocumentRead, NamesTheFileAndLineAsBuildDoes) {
    struct Case {
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {"0 1 hold\n# c\n10 1 hold\n5 2 linear\n", "cam.rot.txt:4: row 5 does not ascend from row 10 on line 3"},
        {"0 1 fast\n", "cam.rot.txt:1: kind 'fast' is neither -128 to 127 nor hold, linear, smoothstep, quadratic"},
        {"\n\n0 1\n", "cam.rot.txt:3: expected ROW VALUE KIND, found 2 fields"},
        {"0 x hold\r\n", "cam.rot.txt:1: value 'x' is not a float"},
    };
    for (const Case& c : cases) {
        TrackDocument document = parsed("7 7 hold\n");
        std::string error;
        EXPECT_FALSE(track_document_parse("cam.rot", c.text, document, error)) << c.text;
        EXPECT_EQ(error, c.error);
        // A text that does not read leaves the document as it was.
        ASSERT_EQ(document.keys.size(), 1u);
        EXPECT_EQ(document.keys[0].key.row, 7);
    }
}

TEST(TrackDocumentWrite, AChangedKeyKeepsItsIndentAndTrailingComment) {
    TrackDocument document = parsed(COMMENTED);
    track_document_set_keys(document, {{0, 0.3f, 2}, {10, 0.25f, 3}, {20, 2.0f, 0}});
    EXPECT_EQ(track_document_text(document),
              "# opening: what the track is\n"
              "#\n"
              "\n"
              "# bars 1-4\n"
              "0 0.3 smoothstep\n"
              "  10 0.25 quadratic  # the rise\n"
              "# bars 5-8\n"
              "20 2 hold\n"
              "\n"
              "# the end\n");

    // Changed back, the key is written as the maker wrote it.
    track_document_set_keys(document, {{0, 0.3f, 2}, {10, 1.5f, 1}, {20, 2.0f, 0}});
    EXPECT_EQ(track_document_text(document), COMMENTED);
}

TEST(TrackDocumentWrite, WritesKindsByNameAndValuesThatReadBackExactly) {
    TrackDocument document = parsed("0 1 0\n");
    const std::vector<Keyframe> keys = {
        {INT32_MIN, 1.0f / 3.0f, 0},
        {-1, -0.0f, 1},
        {0, -3.4028235e38f, 2},
        {1, 1e-45f, 3},
        {2, 16777216.0f, -128},
        {INT32_MAX, std::numeric_limits<float>::denorm_min(), 127},
    };
    track_document_set_keys(document, keys);
    const std::string text = track_document_text(document);
    EXPECT_NE(text.find("-1 -0 linear\n"), text.npos) << text;
    EXPECT_NE(text.find("0 -3.4028235e+38 smoothstep\n"), text.npos) << text;
    EXPECT_NE(text.find("1 1e-45 quadratic\n"), text.npos) << text;
    EXPECT_NE(text.find("2 16777216 -128\n"), text.npos) << text;
    EXPECT_EQ(text.find("0 1 0"), text.npos) << "the old key on row 0 was replaced";
    expect_builds_to_own_keys(document);
    expect_same_keys(track_document_keys(document), keys);
}

TEST(TrackDocumentWrite, NewKeysFollowTheTextsLineEnds) {
    TrackDocument crlf = parsed("# c\r\n0 1 hold\r\n");
    track_document_set_keys(crlf, {{0, 2.0f, 0}, {5, 1.0f, 1}});
    EXPECT_EQ(track_document_text(crlf), "# c\r\n0 2 hold\r\n5 1 linear\r\n");
    expect_builds_to_own_keys(crlf);

    TrackDocument unterminated = parsed("0 1 hold");
    track_document_set_keys(unterminated, {{0, 1.0f, 0}, {5, 1.0f, 1}});
    EXPECT_EQ(track_document_text(unterminated), "0 1 hold\n5 1 linear");

    TrackDocument empty = parsed("");
    track_document_set_keys(empty, {{3, 1.0f, 0}});
    EXPECT_EQ(track_document_text(empty), "3 1 hold\n");
}

TEST(TrackDocumentSetKeys, CommentsOfAGoneKeyMoveToTheNextKeyThatStays) {
    TrackDocument document = parsed(COMMENTED);
    // Row 10 goes and a new key at 15 comes: it gets no comment, 20 keeps its own.
    track_document_set_keys(document, {{0, 0.3f, 2}, {15, 1.0f, 0}, {20, 2.0f, 0}});
    EXPECT_EQ(track_document_text(document),
              "# opening: what the track is\n"
              "#\n"
              "\n"
              "# bars 1-4\n"
              "0 0.3 smoothstep\n"
              "15 1 hold\n"
              "# bars 5-8\n"
              "20 2 hold\n"
              "\n"
              "# the end\n");

    // The first key goes: the opening stays on top, its comment moves down to
    // row 15, which stays now.
    track_document_set_keys(document, {{15, 1.0f, 0}, {20, 2.0f, 0}});
    EXPECT_EQ(track_document_text(document),
              "# opening: what the track is\n"
              "#\n"
              "\n"
              "# bars 1-4\n"
              "15 1 hold\n"
              "# bars 5-8\n"
              "20 2 hold\n"
              "\n"
              "# the end\n");
}

TEST(TrackDocumentSetKeys, AKeyBeforeTheFirstComesBelowTheOpening) {
    TrackDocument document = parsed(COMMENTED);
    track_document_set_keys(document, {{-5, 9.0f, 1}, {0, 0.3f, 2}, {10, 1.5f, 1}, {20, 2.0f, 0}});
    EXPECT_EQ(track_document_text(document),
              "# opening: what the track is\n"
              "#\n"
              "\n"
              "-5 9 linear\n"
              "# bars 1-4\n"
              "0 0.3 smoothstep\n"
              "  10\t1.5   linear  # the rise\n"
              "# bars 5-8\n"
              "20 2 hold\n"
              "\n"
              "# the end\n");
}

TEST(TrackDocumentSetKeys, NoKeysLeftKeepsEveryLineInOrder) {
    TrackDocument document = parsed(COMMENTED);
    track_document_set_keys(document, {});
    EXPECT_EQ(track_document_text(document),
              "# opening: what the track is\n#\n\n# bars 1-4\n# bars 5-8\n\n# the end\n");
    track_document_set_keys(document, {{1, 1.0f, 0}});
    // With no keys, every line is the opening.
    EXPECT_EQ(track_document_text(document),
              "# opening: what the track is\n#\n\n# bars 1-4\n# bars 5-8\n\n# the end\n1 1 hold\n");
}

TEST(TrackDocumentMoveKeys, MovedKeysTakeTheirOwnCommentsAlong) {
    TrackDocument document = parsed(COMMENTED);
    ASSERT_TRUE(track_document_move_keys(document, 0, 10, 25));
    EXPECT_EQ(track_document_text(document),
              "# opening: what the track is\n"
              "#\n"
              "\n"
              "# bars 5-8\n"
              "20 2 hold\n"
              "# bars 1-4\n"
              "25 0.3 smoothstep\n"
              "  35 1.5 linear  # the rise\n"
              "\n"
              "# the end\n");
    expect_builds_to_own_keys(document);

    ASSERT_TRUE(track_document_move_keys(document, 25, 35, -25));
    EXPECT_EQ(track_document_text(document), COMMENTED);
}

TEST(TrackDocumentMoveKeys, KeysMayPassOthersButNotLandOnOneThatStays) {
    const std::string text = "0 0 hold\n10 1 hold\n20 2 hold\n30 3 hold\n";
    TrackDocument document = parsed(text);
    // Row 0 lands where row 10 was, which moves on, past row 20.
    ASSERT_TRUE(track_document_move_keys(document, 0, 10, 15));
    EXPECT_EQ(track_document_text(document), "15 0 hold\n20 2 hold\n25 1 hold\n30 3 hold\n");

    document = parsed(text);
    EXPECT_FALSE(track_document_move_keys(document, 0, 10, 10));  // 10 onto 20
    EXPECT_FALSE(track_document_move_keys(document, 20, 30, -20));  // both onto 0 and 10
    EXPECT_FALSE(track_document_move_keys(document, 30, 30, INT32_MAX));
    EXPECT_EQ(track_document_text(document), text);

    ASSERT_TRUE(track_document_move_keys(document, INT32_MIN, INT32_MAX, -5));
    EXPECT_EQ(track_document_text(document), "-5 0 hold\n5 1 hold\n15 2 hold\n25 3 hold\n");
    EXPECT_FALSE(track_document_move_keys(document, -5, -5, INT32_MIN));
    ASSERT_TRUE(track_document_move_keys(document, 5, 5, INT32_MIN));
    EXPECT_EQ(track_document_text(document), "-2147483643 1 hold\n-5 0 hold\n15 2 hold\n25 3 hold\n");
}

}  // namespace
