// Owns one VARIANT in a test; cleared when the holder goes.
#pragma once
#include <windows.h>
#include <oleauto.h>

class OwnedVariant {
public:
    OwnedVariant() { VariantInit(&value_); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    ~OwnedVariant() { VariantClear(&value_); }

    VARIANT* Get() { return &value_; }
    const VARIANT& operator*() const { return value_; }

private:
    VARIANT value_;
};
