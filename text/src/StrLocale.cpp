// StrLocale.cpp - the Str operations that follow the user's locale rules.
#include "StrBlock.h"
#include "text/Str.h"

int Str::Compare(const char* text) const {
    const int order = lstrcmpA(text_internal::OrEmpty(GetText()), text_internal::OrEmpty(text));
    return order > 0 ? 1 : (order < 0 ? -1 : 0);
}

char* Str::MakeUpper() {
    if (GetText() == nullptr) return nullptr;
    return CharUpperA(&CharAt(0));
}
