// The program's side of the conversation with the engine, against stand-in
// helpers that answer as the real one does (no office needed).

#include "support/word_support.h"

#include "support/scriptedplatform.h"

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

// A stand-in helper: a shell script that records its arguments in
// `log`.args, what it receives in `log`, and answers with `replies`, one
// per request line.
QString fakeHelper(TempDir& dir, const QString& log, const QStringList& replies)
{
    QString script = QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1.args'\n"
                                    "echo '{\"ready\":true,\"startSeconds\":1.5}'\n")
                         .arg(log);
    for (const QString& reply : replies)
        script += QStringLiteral("IFS= read -r line || exit 0\nprintf '%s\\n' \"$line\" >> '%1'\nprintf '%s\\n' '%2'\n")
                      .arg(log, reply);
    script += QStringLiteral("IFS= read -r line\nprintf '%s\\n' \"$line\" >> '%1'\n").arg(log);
    const QString path = dir.write(QStringLiteral("kestrune-word"), script.toUtf8());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QStringList sent(const QString& log)
{
    return QString::fromUtf8(readBytes(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

TEST(WordProtocol, PasswordQuestionGoesToTheMaskedInputBoxAndCancelIsSentAsNull)
{
    TempDir dir;
    const QString log = dir.file(QStringLiteral("log"));
    const QString helper = fakeHelper(dir, log,
                                      {QStringLiteral("{\"ask\":\"password\",\"file\":\"/docs/机密.doc\"}"),
                                       QStringLiteral("{\"ok\":false,\"error\":\"文档有打开密码,没有输入密码\"}"),
                                       QStringLiteral("{\"ask\":\"password\",\"file\":\"/docs/机密.doc\"}"),
                                       QStringLiteral("{\"ok\":true,\"doc\":7}"),
                                       QStringLiteral("{\"ok\":false,\"saved\":false,\"error\":\"文件是只读的,未保存\"}"),
                                       QStringLiteral("{\"ok\":true}")});
    QWidget owner;
    auto app = createWordApplication(&owner, WordEngineLocation{helper, QString()});

    // First attempt: the user cancels.
    try {
        app->openDocument(QStringLiteral("/docs/机密.doc"), false);
        FAIL() << "the open succeeded";
    } catch (const WordError& e) {
        EXPECT_EQ(e.description(), QStringLiteral("文档有打开密码,没有输入密码"));
    }
    // Second attempt: the password is typed; the document opens and carries
    // the passwords set on it into the save request.
    scripted().inputs.push_back(QStringLiteral("p\"w\n1"));
    int events = 0;
    QObject::connect(app.get(), &WordApplication::DocumentOpen, [&](WordDocument* doc) {
        ++events;
        doc->setPassword(QStringLiteral("739"));
        EXPECT_THROW(doc->save(), WordError);
        doc->close();
    });
    WordDocument* doc = app->openDocument(QStringLiteral("/docs/机密.doc"), false);
    ASSERT_TRUE(doc);
    EXPECT_EQ(events, 1);
    EXPECT_THROW(doc->save(), WordError);  // closed documents are not saved

    const auto inputs = scripted().of(Interaction::Input);
    ASSERT_EQ(inputs.size(), 2u);
    for (const auto& input : inputs) {
        EXPECT_TRUE(input.masked);
        EXPECT_EQ(input.owner, &owner);
        EXPECT_TRUE(input.text.contains(QStringLiteral("机密.doc")));
    }

    app->quit();
    const QStringList lines = sent(log);
    ASSERT_EQ(lines.size(), 7) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(lines[1].toUtf8()).object().value(QStringLiteral("answer")),
              QJsonValue(QJsonValue::Null));
    EXPECT_EQ(QJsonDocument::fromJson(lines[3].toUtf8()).object().value(QStringLiteral("answer")).toString(),
              QStringLiteral("p\"w\n1"));
    const QJsonObject save = QJsonDocument::fromJson(lines[4].toUtf8()).object();
    EXPECT_EQ(save.value(QStringLiteral("op")).toString(), QStringLiteral("save"));
    EXPECT_EQ(save.value(QStringLiteral("doc")).toInt(), 7);
    EXPECT_EQ(save.value(QStringLiteral("password")).toString(), QStringLiteral("739"));
    EXPECT_TRUE(save.value(QStringLiteral("writePassword")).isNull());
    EXPECT_EQ(QJsonDocument::fromJson(lines[5].toUtf8()).object().value(QStringLiteral("op")).toString(),
              QStringLiteral("close"));
    EXPECT_EQ(QJsonDocument::fromJson(lines[6].toUtf8()).object().value(QStringLiteral("op")).toString(),
              QStringLiteral("quit"));
    // Passwords travel on the pipe only, never on the helper's command line,
    // which every local user can read.
    EXPECT_EQ(readBytes(log + QStringLiteral(".args")), QByteArray("--serve\n"));
}

TEST(WordProtocol, EngineThatRefusesToStartGivesItsReason)
{
    TempDir dir;
    const QString helper = dir.write(QStringLiteral("kestrune-word"),
                                     "#!/bin/sh\necho '{\"ready\":false,\"error\":\"LibreOffice 启动后立即退出\"}'\nexit 1\n");
    QFile::setPermissions(helper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    try {
        createWordApplication(nullptr, WordEngineLocation{helper, QString()});
        FAIL() << "created";
    } catch (const WordError& e) {
        EXPECT_EQ(e.description(), QStringLiteral("LibreOffice 启动后立即退出"));
    }
}

TEST(WordProtocol, FactoryStandsInForTheDefaultEngineOnly)
{
    struct Fake : WordApplication {
        void setVisible(bool) override {}
        bool isVisible() const override { return false; }
        WordDocument* openDocument(const QString&, bool) override { return nullptr; }
        void quit() override {}
        bool isRunning() const override { return true; }
    };
    QWidget* seenOwner = nullptr;
    QWidget owner;
    setWordFactory([&](QWidget* o) -> std::unique_ptr<WordApplication> {
        seenOwner = o;
        return std::make_unique<Fake>();
    });
    auto app = createWordApplication(&owner);
    EXPECT_TRUE(dynamic_cast<Fake*>(app.get()));
    EXPECT_EQ(seenOwner, &owner);
    // An explicit location still means the office engine.
    TempDir dir;
    EXPECT_THROW(createWordApplication(&owner, WordEngineLocation{dir.file(QStringLiteral("none")), QString()}),
                 WordError);
    // Without the factory the office engine is started again (here without an office).
    setWordFactory(nullptr);
    EXPECT_THROW(createWordApplication(&owner, WordEngineLocation{QString(), dir.file(QStringLiteral("no-office"))}),
                 WordError);
}
