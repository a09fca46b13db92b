#include "core/system/textcodec.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <iconv.h>

namespace kestrune {

namespace {

QByteArray convert(const char* to, const char* from, const QByteArray& input)
{
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QByteArray();
    QByteArray out;
    out.resize(input.size() * 4 + 16);
    char* in = const_cast<char*>(input.constData());
    size_t inLeft = size_t(input.size());
    char* dst = out.data();
    size_t outLeft = size_t(out.size());
    while (inLeft > 0) {
        const size_t r = ::iconv(cd, &in, &inLeft, &dst, &outLeft);
        if (r != size_t(-1))
            continue;
        if (errno == E2BIG) {
            const qsizetype used = dst - out.data();
            out.resize(out.size() * 2);
            dst = out.data() + used;
            outLeft = size_t(out.size() - used);
        } else {
            // A byte sequence the source encoding does not have: skip one
            // byte and carry on rather than lose the rest of the text.
            ++in;
            --inLeft;
        }
    }
    out.resize(dst - out.data());
    ::iconv_close(cd);
    return out;
}

}  // namespace

QByteArray toGb18030(const QString& text)
{
    return convert("GB18030", "UTF-8", text.toUtf8());
}

QString fromGb18030(const QByteArray& bytes)
{
    return QString::fromUtf8(convert("UTF-8", "GB18030", bytes));
}

QString decodeProgramText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    }
    return fromGb18030(bytes);
}

std::optional<QString> readProgramTextFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return decodeProgramText(bytes);
}

}  // namespace kestrune
