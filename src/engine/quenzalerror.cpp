#include "quenzalerror.h"

const char *QuenzalError::what() const noexcept
{
    if (m_what.isEmpty()) {
        m_what = description().toUtf8();
    }
    return m_what.constData();
}
