#include "pre_processor/persistence/model_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "model_fixtures.h"
#include "pre_processor/persistence/archive_format.h"
#include "pre_processor/persistence/file_io.h"

namespace pre_processor::persistence {
namespace {

using testing::key_of;
using testing::make_model;
using testing::random_model;

TEST(PathExtension, SplitsTheLastComponentLikePosixPaths) {
  const struct {
    const char* path;
    std::optional<std::string_view> extension;
  } cases[] = {
      {"model.qarch", "qarch"},
      {"dir/model.json", "json"},
      {"a.tar.json", "json"},
      {"models/a.json/", "json"},
      {"models//a.json//", "json"},
      {"models/a.json/.", "json"},
      {"./a.bin", "bin"},
      {"..json", "json"},
      {"a.", ""},
      {"model.JSON", "JSON"},
      {".json", std::nullopt},
      {"model", std::nullopt},
      {"dir.d/model", std::nullopt},
      {"", std::nullopt},
      {"/", std::nullopt},
      {".", std::nullopt},
      {"..", std::nullopt},
      {"a.json/..", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(path_extension(c.path), c.extension) << c.path;
}

TEST(PathExtension, ChoosesTheFormatExactly) {
  EXPECT_EQ(*format_for_save("m.qarch"), ModelFormat::Archive);
  EXPECT_EQ(*format_for_save("m.json"), ModelFormat::Json);
  EXPECT_EQ(*format_for_load("m.bin"), ModelFormat::Brevix);
  for (const char* path : {"m.bin", "m.JSON", "m", ".json", "m.", "m.txt"}) {
    const auto format = format_for_save(path);
    ASSERT_FALSE(format.ok()) << path;
    EXPECT_EQ(format.error().kind, ErrorKind::UnsupportedExtension);
    EXPECT_EQ(format.error().message, "File extension must be .qarch or .json");
  }
  for (const char* path : {"m.QARCH", "m", "m.txt", "m."}) {
    const auto format = format_for_load(path);
    ASSERT_FALSE(format.ok()) << path;
    EXPECT_EQ(format.error().kind, ErrorKind::UnsupportedExtension);
    EXPECT_EQ(format.error().message, "File extension must be .qarch, .bin, or .json");
  }
}

class ModelFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "pp_model_files_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern + "/";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string path(const std::string& name) const { return dir_ + name; }
  bool exists(const std::string& name) const {
    struct stat status {};
    return ::stat(path(name).c_str(), &status) == 0;
  }
  void write_raw(const std::string& name, const std::string& content) const {
    std::ofstream(path(name), std::ios::binary) << content;
  }

  std::string dir_;
};

TEST_F(ModelFilesTest, SavesAndLoadsBothFormats) {
  const TfidfVectorizer model = random_model(500, 2);
  for (const char* name : {"m.qarch", "m.json", "nested.name.json"}) {
    ASSERT_TRUE(save_vectorizer(model, path(name)).ok()) << name;
    const auto loaded = load_vectorizer(path(name));
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    EXPECT_EQ(*loaded, model) << name;
  }
  // A second save truncates the first.
  const TfidfVectorizer small = make_model({.vocabulary = {}, .idf = {}});
  ASSERT_TRUE(save_vectorizer(small, path("m.json")).ok());
  EXPECT_EQ(*load_vectorizer(path("m.json")), small);
}

TEST_F(ModelFilesTest, BytesAndTextConversionsRoundTrip) {
  const TfidfVectorizer model = random_model(50, 4);
  const auto bytes = vectorizer_to_bytes(model);
  ASSERT_TRUE(bytes.ok());
  EXPECT_EQ(*vectorizer_from_bytes(*bytes), model);
  EXPECT_EQ(*vectorizer_from_json(vectorizer_to_json(model)), model);
}

TEST_F(ModelFilesTest, UnsupportedExtensionTouchesNoFile) {
  const TfidfVectorizer model = make_model({.vocabulary = {}, .idf = {}});
  for (const char* name : {"m.JSON", "m.bin", "m", ".json"}) {
    const Status saved = save_vectorizer(model, path(name));
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error().kind, ErrorKind::UnsupportedExtension);
    EXPECT_EQ(saved.error().message, "File extension must be .qarch or .json");
    EXPECT_FALSE(exists(name)) << name;
  }
  const auto loaded = load_vectorizer(path("missing.txt"));
  ASSERT_FALSE(loaded.ok());
  EXPECT_EQ(loaded.error().kind, ErrorKind::UnsupportedExtension);
  EXPECT_EQ(loaded.error().message, "File extension must be .qarch, .bin, or .json");
}

TEST_F(ModelFilesTest, ReportsFileSystemFailuresWithThePathAndErrorText) {
  const TfidfVectorizer model = make_model({.vocabulary = {}, .idf = {}});
  const std::string missing = path("missing.json");
  const std::string no_dir = path("no/such/dir/m.qarch");
  const std::string with_nul = path("a") + std::string(1, '\0') + "b.json";
  ::mkdir(path("dir.json").c_str(), 0755);
  const struct {
    const char* what;
    Error error;
    std::string message;
  } cases[] = {
      {"load of a missing file", load_vectorizer(missing).error(),
       "Failed to read vectorizer from " + missing + ": No such file or directory (os error 2)"},
      {"save into a missing directory", save_vectorizer(model, no_dir).error(),
       "Failed to write vectorizer to " + no_dir + ": No such file or directory (os error 2)"},
      {"save over a directory", save_vectorizer(model, path("dir.json")).error(),
       "Failed to write vectorizer to " + path("dir.json") + ": Is a directory (os error 21)"},
      {"load of a directory", load_vectorizer(path("dir.json")).error(),
       "Failed to read vectorizer from " + path("dir.json") + ": Is a directory (os error 21)"},
      {"load with a NUL", load_vectorizer(with_nul).error(),
       "Failed to read vectorizer from " + with_nul + ": file name contained an unexpected NUL byte"},
      {"save with a NUL", save_vectorizer(model, with_nul).error(),
       "Failed to write vectorizer to " + with_nul + ": file name contained an unexpected NUL byte"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.error.kind, ErrorKind::Persistence) << c.what;
    EXPECT_EQ(c.error.message, c.message) << c.what;
  }
}

TEST_F(ModelFilesTest, DecodingFailuresNameTheirFormat) {
  const TfidfVectorizer model = make_model({.vocabulary = {{key_of(1, 2), 0}}, .idf = {1.0f}});
  const std::string document(vectorizer_to_json(model));
  const auto archive = *vectorizer_to_bytes(model);
  const std::string archive_text(archive.begin(), archive.end());

  write_raw("doc.qarch", document);
  write_raw("bad.json", "{\"idf\":[\xff]}");
  write_raw("archive.json", archive_text);
  write_raw("truncated.json", document.substr(0, 10));
  write_raw("bad.bin", std::string("\x01\x02", 2));
  const std::string archive_detail(archive::kFailureDetail);
  const struct {
    const char* name;
    std::string message;
  } cases[] = {
      {"doc.qarch", "Failed to deserialize vectorizer from bytes: " + archive_detail},
      {"bad.json", "Failed to read vectorizer from " + path("bad.json") + ": stream did not contain valid UTF-8"},
      {"archive.json", "Failed to read vectorizer from " + path("archive.json") + ": stream did not contain valid UTF-8"},
      {"truncated.json",
       "Failed to deserialize vectorizer from JSON: EOF while parsing a string at line 1 column 10"},
      {"bad.bin", "Failed to deserialize vectorizer from brevix bytes: UnexpectedEnd { additional: 4 }"},
  };
  for (const auto& c : cases) {
    const auto loaded = load_vectorizer(path(c.name));
    ASSERT_FALSE(loaded.ok()) << c.name;
    EXPECT_EQ(loaded.error().kind, ErrorKind::Persistence);
    EXPECT_EQ(loaded.error().message, c.message) << c.name;
  }
  EXPECT_EQ(vectorizer_from_bytes({}).error().message, "Failed to deserialize vectorizer from bytes: " + archive_detail);
  EXPECT_EQ(vectorizer_from_json("").error().message,
            "Failed to deserialize vectorizer from JSON: EOF while parsing a value at line 1 column 0");
}

TEST(FileIo, Utf8ValidationIsStrict) {
  const struct {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain", true},
      {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", true},
      {"\xf4\x8f\xbf\xbf", true},   // U+10FFFF
      {"\xc0\x80", false},          // overlong
      {"\xe0\x80\xaf", false},      // overlong
      {"\xed\xa0\x80", false},      // surrogate
      {"\xf4\x90\x80\x80", false},  // above U+10FFFF
      {"\xc3", false},              // cut short
      {"\x80", false},              // stray continuation
      {"\xe2\x82", false},
      {"\xff", false},
  };
  for (const auto& c : cases) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(is_valid_utf8(bytes), c.valid) << ::testing::PrintToString(c.bytes);
  }
}

TEST(FileIo, OsErrorTextCarriesTheNumber) {
  EXPECT_EQ(os_error_text(2), "No such file or directory (os error 2)");
  EXPECT_EQ(os_error_text(13), "Permission denied (os error 13)");
}

}  // namespace
}  // namespace pre_processor::persistence
