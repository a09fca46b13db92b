#include "document.h"

#include "unotext.h"

#include "core/fs/fsnames.h"

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/document/BrokenPackageRequest.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/task/DocumentMSPasswordRequest.hpp>
#include <com/sun/star/task/DocumentMSPasswordRequest2.hpp>
#include <com/sun/star/task/DocumentPasswordRequest.hpp>
#include <com/sun/star/task/DocumentPasswordRequest2.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/task/XInteractionPassword.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/io/XInputStream.hpp>
#include <com/sun/star/packages/zip/ZipFileAccess.hpp>
#include <cppuhelper/implbase1.hxx>
#include <rtl/ref.hxx>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QUrl>
#include <QXmlStreamReader>

#include <QRegularExpression>

#include <climits>
#include <memory>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace css;
using kestrune::currentFolderPath;
using kestrune::decodeFileName;
using kestrune::displayFileName;
using kestrune::encodeFileName;

namespace kw {

namespace {

bool debugging()
{
    static const bool on = qEnvironmentVariableIsSet("KESTRUNE_WORD_DEBUG");
    return on;
}

bool isUtf8(const QByteArray& bytes)
{
    return !kestrune::hasRawBytes(decodeFileName(bytes));
}

// The office reads the path of a file URL as UTF-8 and cannot reach a name
// that is not (GBK names from Windows systems): such a file or folder is
// given to it as a link in a private folder of this helper, named in plain
// characters, that points to its exact bytes.
class Aliases {
public:
    // A path the office can reach for `path` (absolute bytes).
    QByteArray reach(const QByteArray& path)
    {
        if (isUtf8(path))
            return path;
        const QByteArray base = baseName(path);
        const QByteArray folder = path.left(path.size() - base.size() - 1);
        if (isUtf8(base)) {
            // The folder is linked: files made in it (the saved copy) are
            // reached the same way.
            const QByteArray link = linkTo(folder.isEmpty() ? QByteArray("/") : folder, QByteArray());
            return link.isEmpty() ? path : link + '/' + base;
        }
        // The file itself, with its extension (the office goes by it too).
        const qsizetype dot = base.lastIndexOf('.');
        const QByteArray suffix = dot > 0 && isUtf8(base.mid(dot)) ? base.mid(dot) : QByteArray();
        const QByteArray link = linkTo(path, suffix);
        return link.isEmpty() ? path : link;
    }

private:
    QByteArray linkTo(const QByteArray& target, const QByteArray& suffix)
    {
        const auto known = links_.find(target + '\0' + suffix);
        if (known != links_.end())
            return known->second;
        if (!dir_) {
            dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kestrune-word-XXXXXX"));
            if (!dir_->isValid()) {
                dir_.reset();
                return {};
            }
        }
        const QByteArray link =
            QFile::encodeName(dir_->path()) + "/" + QByteArray::number(qulonglong(links_.size())) + suffix;
        if (::symlink(target.constData(), link.constData()) != 0)
            return {};
        links_[target + '\0' + suffix] = link;
        return link;
    }

public:
    // Removes the links and their folder.
    void clear()
    {
        links_.clear();
        dir_.reset();
    }

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::map<QByteArray, QByteArray> links_;
};

Aliases& aliases()
{
    static Aliases a;
    return a;
}

}  // namespace

void debug(const QString& text)
{
    if (debugging())
        std::fprintf(stderr, "kestrune-word: %s\n", text.toLocal8Bit().constData());
}

beans::PropertyValue prop(const char* name, const uno::Any& value)
{
    beans::PropertyValue p;
    p.Name = OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

// The exact bytes of a file's absolute path.
QByteArray absoluteBytes(const QString& file)
{
    const QByteArray bytes = encodeFileName(file);
    if (bytes.startsWith('/'))
        return bytes;
    return encodeFileName(currentFolderPath()) + '/' + bytes;
}

QByteArray baseName(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

void clearAliases()
{
    aliases().clear();
}

// The URL the office is given for a file.
OUString fileUrl(const QString& file)
{
    const QByteArray path = aliases().reach(absoluteBytes(file));
    return toOU(QString::fromLatin1("file://" + path.toPercentEncoding("/")));
}

void SAL_CALL Handler::handle(const uno::Reference<task::XInteractionRequest>& request)
{
    const uno::Any req = request->getRequest();
    const auto continuations = request->getContinuations();
    uno::Reference<task::XInteractionAbort> abort;
    uno::Reference<task::XInteractionPassword> password;
    for (const auto& c : continuations) {
        if (!abort.is())
            abort.set(c, uno::UNO_QUERY);
        if (!password.is())
            password.set(c, uno::UNO_QUERY);
    }

    bool isPassword = false;
    bool modify = false;
    task::PasswordRequestMode mode = task::PasswordRequestMode_PASSWORD_ENTER;
    task::DocumentPasswordRequest2 p2;
    task::DocumentMSPasswordRequest2 m2;
    task::DocumentPasswordRequest p1;
    task::DocumentMSPasswordRequest m1;
    if (req >>= p2) {
        isPassword = true, mode = p2.Mode, modify = p2.IsRequestPasswordToModify;
    } else if (req >>= m2) {
        isPassword = true, mode = m2.Mode, modify = m2.IsRequestPasswordToModify;
    } else if (req >>= p1) {
        isPassword = true, mode = p1.Mode;
    } else if (req >>= m1) {
        isPassword = true, mode = m1.Mode;
    }
    debug(QStringLiteral("request %1 password=%2 modify=%3 mode=%4")
              .arg(toQ(req.getValueTypeName()))
              .arg(isPassword)
              .arg(modify)
              .arg(int(mode)));

    if (isPassword && modify) {
        // Never given here: the document stays read-only.
        askedModify = true;
    } else if (isPassword) {
        if (mode == task::PasswordRequestMode_PASSWORD_REENTER) {
            wrong = true;
        } else if (!askedOpen && password.is()) {
            askedOpen = true;
            const auto answer = askOpen ? askOpen() : std::optional<QString>();
            if (answer && !answer->isEmpty()) {
                password->setPassword(toOU(*answer));
                password->select();
                return;
            }
            cancelled = true;
        }
    } else if (document::BrokenPackageRequest broken; req >>= broken) {
        // Said as such, not offered for repair: nothing is changed here.
        other = QStringLiteral("文件已损坏");
    } else {
        uno::Exception e;
        if (req >>= e)
            other = toQ(e.Message);
        debug(QStringLiteral("request says: %1").arg(other));
        if (other.isEmpty())
            other = toQ(req.getValueTypeName());
    }
    if (abort.is())
        abort->select();
}

void closeComponent(const uno::Reference<lang::XComponent>& component)
{
    if (!component.is())
        return;
    try {
        uno::Reference<util::XCloseable> closeable(component, uno::UNO_QUERY);
        if (closeable.is())
            closeable->close(true);
        else
            component->dispose();
    } catch (const uno::Exception&) {
    }
}

QString filterOf(const uno::Reference<lang::XComponent>& component)
{
    uno::Reference<frame::XModel> model(component, uno::UNO_QUERY);
    if (!model.is())
        return {};
    for (const auto& arg : model->getArgs()) {
        if (arg.Name == "FilterName") {
            OUString name;
            arg.Value >>= name;
            return toQ(name);
        }
    }
    return {};
}

// Whether the document carries a modify password (Word's write protection),
// as the office read it: an editing restriction is not one.
bool hasModifyPasswordInfo(const uno::Reference<lang::XComponent>& component)
{
    uno::Reference<lang::XMultiServiceFactory> factory(component, uno::UNO_QUERY);
    if (!factory.is())
        return false;
    uno::Reference<beans::XPropertySet> settings(factory->createInstance("com.sun.star.document.Settings"),
                                                 uno::UNO_QUERY);
    if (!settings.is())
        return false;
    uno::Sequence<beans::PropertyValue> info;
    settings->getPropertyValue("ModifyPasswordInfo") >>= info;
    return info.getLength() > 0;
}

bool isWriterDocument(const uno::Reference<lang::XComponent>& component)
{
    uno::Reference<lang::XServiceInfo> info(component, uno::UNO_QUERY);
    return info.is() && info->supportsService("com.sun.star.text.TextDocument");
}

LoadResult load(Office& office, const QString& file, Handler* handler, bool readOnly,
                const std::optional<QString>& password)
{
    auto args = seq<beans::PropertyValue>({
        prop("Hidden", uno::Any(true)),
        prop("ReadOnly", uno::Any(readOnly)),
        prop("InteractionHandler", uno::Any(uno::Reference<task::XInteractionHandler>(handler))),
        prop("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
        prop("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)),
        prop("Silent", uno::Any(true)),
    });
    if (password) {
        args.realloc(args.getLength() + 1);
        args.getArray()[args.getLength() - 1] = prop("Password", uno::Any(toOU(*password)));
    }
    LoadResult result;
    // Tests of this helper make the office die while it loads a document
    // whose name holds this text, as some documents make it crash.
    static const QByteArray killOn = qgetenv("KESTRUNE_WORD_TEST_KILL_OFFICE_ON");
    if (!killOn.isEmpty() && baseName(encodeFileName(file)).contains(killOn) && office.pid() > 0)
        ::kill(office.pid(), SIGKILL);
    try {
        guarded(office, [&] {
            uno::Reference<frame::XComponentLoader> loader(office.desktop(), uno::UNO_QUERY_THROW);
            result.component = loader->loadComponentFromURL(fileUrl(file), "_blank", 0, args);
        });
    } catch (const uno::Exception& e) {
        result.error = toQ(e.Message);
    }
    return result;
}

WriteProtection readWriteProtection(Office& office, const QString& file)
{
    WriteProtection result;
    QByteArray xml;
    try {
        auto zip = packages::zip::ZipFileAccess::createWithURL(office.context(), fileUrl(file));
        uno::Reference<io::XInputStream> in(zip->getByName("word/settings.xml"), uno::UNO_QUERY_THROW);
        uno::Sequence<sal_Int8> chunk;
        while (in->readBytes(chunk, 65536) > 0)
            xml.append(reinterpret_cast<const char*>(chunk.getConstArray()), chunk.getLength());
        in->closeInput();
    } catch (const uno::Exception&) {
        return result;
    }
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("writeProtection")) {
            const auto attrs = reader.attributes();
            result.present = true;
            result.algorithmSid = attrs.value(QLatin1String("w:cryptAlgorithmSid")).toString();
            result.spinCount = attrs.value(QLatin1String("w:cryptSpinCount")).toString();
            result.hash = attrs.value(QLatin1String("w:hash")).toString();
            result.salt = attrs.value(QLatin1String("w:salt")).toString();
            break;
        }
        if (reader.hasError())
            break;
    }
    return result;
}

}  // namespace kw
