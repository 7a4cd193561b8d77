// Owns one platform resource and gives it back with `Release` when it goes.
// `Resource` is a handle or pointer whose default value (null) means "none";
// `Release` is called once for every other value the owner held, its result
// ignored. Movable, not copyable; no exceptions, no runtime support.
#pragma once

template <typename Resource, auto Release>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(Resource value) : value_(value) {}
    ~UniqueResource() { reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        reset(other.release());
        return *this;
    }

    Resource get() const { return value_; }
    explicit operator bool() const { return value_ != Resource(); }

    // Takes `value` and releases what was held before; taking the value already
    // held changes nothing.
    void reset(Resource value = Resource())
    {
        if (value == value_) return;
        const Resource old = value_;
        value_ = value;
        if (old != Resource()) Release(old);
    }

    // Hands the resource to the caller, who releases it from then on.
    Resource release()
    {
        const Resource value = value_;
        value_ = Resource();
        return value;
    }

    // For an out parameter: releases what is held and gives the empty slot.
    Resource* put()
    {
        reset();
        return &value_;
    }

private:
    Resource value_ = Resource();
};
