#pragma once
#include <QtGlobal>

#if defined(FRAMEWORK_BUILD)
#define FRAMEWORK_EXPORT Q_DECL_EXPORT
#else
#define FRAMEWORK_EXPORT Q_DECL_IMPORT
#endif
