#pragma once

#include <com/sun/star/uno/Sequence.hxx>
#include <rtl/ustring.hxx>

#include <QString>

#include <initializer_list>

using rtl::OUString;

namespace kw {

inline OUString toOU(const QString& s)
{
    return OUString(reinterpret_cast<const sal_Unicode*>(s.constData()), s.size());
}

inline QString toQ(const OUString& s)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(s.getStr()), s.getLength());
}

// A sequence from a list (the SDK's headers have no list constructor).
template <typename T>
css::uno::Sequence<T> seq(std::initializer_list<T> items)
{
    css::uno::Sequence<T> result(sal_Int32(items.size()));
    sal_Int32 i = 0;
    for (const T& item : items)
        result.getArray()[i++] = item;
    return result;
}

}  // namespace kw
