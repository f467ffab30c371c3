#pragma once

// Root of the framework-style class hierarchy: only a virtual destructor.
class CObject {
public:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
    virtual ~CObject() = default;
};
