// Every text the programs mark for translation has a finished English translation in the catalog
// kept in the tree, and the catalog holds nothing the sources no longer use: the sources are read
// again with lupdate into a copy of the catalog, which must come out with nothing new or vanished.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>
#include <filesystem>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace {

struct Entry {
  QString context;
  QString source;
  QString translation;
  QString type;  // empty for a finished one
};

std::vector<Entry> ReadCatalog(const QString& path) {
  std::vector<Entry> entries;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return entries;
  QXmlStreamReader xml(&file);
  QString context;
  Entry entry;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isEndElement() && xml.name() == u"message") entries.push_back(entry);
    if (!xml.isStartElement()) continue;
    if (xml.name() == u"context") {
      context.clear();
    } else if (xml.name() == u"name") {
      context = xml.readElementText();
    } else if (xml.name() == u"message") {
      entry = {context, {}, {}, {}};
    } else if (xml.name() == u"source") {
      entry.source = xml.readElementText();
    } else if (xml.name() == u"translation") {
      entry.type = xml.attributes().value(QLatin1StringView("type")).toString();
      entry.translation = xml.readElementText();
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  return entries;
}

// What must survive translation: the placeholders, the line breaks that separate a command's
// prompt from its label, the tabs before key texts and the one mnemonic of a menu text.
std::string Markers(const QString& text) {
  static const QRegularExpression markers(QStringLiteral(R"(%\d|\n|\t|&(?!&))"));
  QStringList found;
  for (const QRegularExpressionMatch& match : markers.globalMatch(text)) {
    const QString marker = match.captured();
    found << (marker == u"\n"   ? QStringLiteral("\\n")
              : marker == u"\t" ? QStringLiteral("\\t")
                                : marker);
  }
  found.sort();
  return found.join(u' ').toStdString();
}

struct Catalog {
  const char* program;
  const char* ts;  // relative to the source root
  std::vector<const char*> sourceDirs;
};

class EnglishCatalog : public ::testing::TestWithParam<Catalog> {};

TEST_P(EnglishCatalog, TranslatesEveryTextOfTheSources) {
  const Catalog& catalog = GetParam();
  const std::string root = SOURCE_ROOT;
  const QString committed = QString::fromStdString(root + "/" + catalog.ts);
  const std::vector<Entry> entries = ReadCatalog(committed);
  ASSERT_FALSE(entries.empty()) << catalog.ts;
  for (const Entry& entry : entries) {
    const std::string what = entry.context.toStdString() + ": " + entry.source.toStdString();
    EXPECT_TRUE(entry.type.isEmpty()) << entry.type.toStdString() << " entry " << what;
    EXPECT_FALSE(entry.translation.trimmed().isEmpty()) << "untranslated " << what;
    EXPECT_EQ(Markers(entry.translation), Markers(entry.source)) << what;
  }

  testsupport::TempDir dir;
  const std::string copy = dir.file("catalog.ts");
  std::filesystem::copy_file(committed.toStdString(), copy);
  QStringList arguments;
  for (const char* sourceDir : catalog.sourceDirs)
    arguments << QString::fromStdString(root + "/" + sourceDir);
  arguments << QStringLiteral("-locations") << QStringLiteral("none") << QStringLiteral("-ts")
            << QString::fromStdString(copy);
  QProcess lupdate;
  lupdate.start(QStringLiteral(LUPDATE_PATH), arguments);
  ASSERT_TRUE(lupdate.waitForFinished(60000)) << "lupdate did not finish";
  ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAllStandardError().toStdString();

  for (const Entry& entry : ReadCatalog(QString::fromStdString(copy))) {
    const std::string what = entry.context.toStdString() + ": " + entry.source.toStdString();
    EXPECT_NE(entry.type, QStringLiteral("unfinished")) << "not in " << catalog.ts << ": " << what;
    EXPECT_NE(entry.type, QStringLiteral("vanished")) << "no longer in the sources: " << what;
    EXPECT_NE(entry.type, QStringLiteral("obsolete")) << "no longer in the sources: " << what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, EnglishCatalog,
    ::testing::Values(Catalog{"Signer",
                              "signer/translations/signer_en.ts",
                              {"signer/app", "signer/login", "signer/mailbox", "signer/queue",
                               "signer/reader", "signer/store", "signer/views"}},
                      Catalog{
                          "vetrule", "vetrule/translations/vetrule_en.ts", {"vetrule/dialogs"}}),
    [](const ::testing::TestParamInfo<Catalog>& info) { return std::string(info.param.program); });

}  // namespace
