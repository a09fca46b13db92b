#pragma once

// Loading documents into the office: the file URLs it can reach, the answers
// to its questions while it loads, and what a loaded document tells.

#include "office.h"
#include "unotext.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>
#include <cppuhelper/implbase1.hxx>

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace kw {

// A line on standard error when KESTRUNE_WORD_DEBUG is set.
void debug(const QString& text);

css::beans::PropertyValue prop(const char* name, const css::uno::Any& value);

// The exact bytes of a file's absolute path.
QByteArray absoluteBytes(const QString& file);
QByteArray baseName(const QByteArray& path);

// The URL the office is given for a file (a name that is not UTF-8 is
// reached through a link of this helper's own).
rtl::OUString fileUrl(const QString& file);
// Removes the links made for such names.
void clearAliases();

// Answers the office's questions during a load: the open password from the
// prompt (once; a wrong one is not asked again), the modify password when
// one is given, and an abort for everything else, so a load never waits.
class Handler : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
public:
    std::function<std::optional<QString>()> askOpen;

    bool askedOpen = false;
    bool wrong = false;
    bool cancelled = false;
    bool askedModify = false;
    QString other;

    void SAL_CALL handle(const css::uno::Reference<css::task::XInteractionRequest>& request) override;
};

void closeComponent(const css::uno::Reference<css::lang::XComponent>& component);
QString filterOf(const css::uno::Reference<css::lang::XComponent>& component);
// Whether the document carries a modify password (Word's write protection),
// as the office read it: an editing restriction is not one.
bool hasModifyPasswordInfo(const css::uno::Reference<css::lang::XComponent>& component);
bool isWriterDocument(const css::uno::Reference<css::lang::XComponent>& component);

struct LoadResult {
    css::uno::Reference<css::lang::XComponent> component;
    QString error;  // the office's own words, when it gave any
};

// Calls that fail because the connection to the office broke (it died)
// leave no office to go on with.
template <typename F>
void guarded(Office& office, F&& call)
{
    try {
        call();
    } catch (const css::lang::DisposedException&) {
        office.connectionLost();
        throw;
    }
}

LoadResult load(Office& office, const QString& file, Handler* handler, bool readOnly,
                const std::optional<QString>& password);

// The write protection a Word 2007 document carries in word/settings.xml,
// read through the office's own zip access.
struct WriteProtection {
    bool present = false;
    QString algorithmSid, spinCount, hash, salt;
};

WriteProtection readWriteProtection(Office& office, const QString& file);

}  // namespace kw
