#pragma once
// Run-time class information: the chain of class names from a window class up
// to CWnd, so that code can ask "is this parent window a CInstallGuide?".
// A class takes part by KELM_DECLARE_DYNAMIC in its body and
// KELM_IMPLEMENT_DYNAMIC in its source file.

#include <type_traits>

namespace kelm {

struct RuntimeClass {
    const char* className;
    const RuntimeClass* baseClass; // null for the root class

    bool IsDerivedFrom(const RuntimeClass* other) const noexcept
    {
        for (const RuntimeClass* c = this; c != nullptr; c = c->baseClass) {
            if (c == other)
                return true;
        }
        return false;
    }
};

} // namespace kelm

// In the class body (public section follows it).
#define KELM_DECLARE_DYNAMIC(ClassName)                                         \
public:                                                                          \
    using KelmDynamicClass = ClassName;                                          \
    static const ::kelm::RuntimeClass* ClassInfo() noexcept;                     \
    const ::kelm::RuntimeClass* GetRuntimeClass() const noexcept override;

// In the source file.
#define KELM_IMPLEMENT_DYNAMIC(ClassName, BaseClassName)                        \
    const ::kelm::RuntimeClass* ClassName::ClassInfo() noexcept                  \
    {                                                                            \
        static const ::kelm::RuntimeClass info{#ClassName, BaseClassName::ClassInfo()}; \
        return &info;                                                            \
    }                                                                            \
    const ::kelm::RuntimeClass* ClassName::GetRuntimeClass() const noexcept      \
    {                                                                            \
        return ClassInfo();                                                      \
    }
