// Watches the OLE task allocator (which SysAllocString uses) for the holder's
// life: counts the blocks it hands out and takes back, and fails allocations
// on request. The BSTR cache is turned off, so every string reaches it.
#pragma once
#include <windows.h>
#include <objbase.h>

class OleMemorySpy : public IMallocSpy {
public:
    OleMemorySpy()
    {
        using NoCache = void(WINAPI*)();
        const auto noCache = reinterpret_cast<NoCache>(GetProcAddress(GetModuleHandleA("oleaut32.dll"), "SetOaNoCache"));
        if (noCache) noCache();
        registered_ = SUCCEEDED(CoRegisterMallocSpy(this));
    }
    ~OleMemorySpy()
    {
        if (registered_) CoRevokeMallocSpy();
    }
    OleMemorySpy(const OleMemorySpy&) = delete;
    OleMemorySpy& operator=(const OleMemorySpy&) = delete;

    bool Registered() const { return registered_; }
    // Blocks handed out under the spy and not yet taken back.
    LONG LiveBlocks() const { return live_; }
    // After `allowed` more allocations succeed, every one fails; -1: none fails.
    void FailAllocationsAfter(LONG allowed) { allowed_ = allowed; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IMallocSpy)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // A zero count from PreAlloc fails the allocation.
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T bytes) override
    {
        if (allowed_ < 0) return bytes;
        return allowed_-- > 0 ? bytes : 0;
    }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override
    {
        if (block) ++live_;
        return block;
    }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override
    {
        if (block && spied) --live_;
        return block;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T bytes, void** newBlock, BOOL spied) override
    {
        reallocFrom_ = spied ? block : nullptr;
        *newBlock = block;
        return bytes;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override
    {
        // From nothing it is an allocation; to nothing, a free.
        if (!reallocFrom_ && block) ++live_;
        if (reallocFrom_ && !block) --live_;
        return block;
    }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int answer) override { return answer; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
    bool registered_ = false;
    volatile LONG live_ = 0;
    LONG allowed_ = -1;
    void* reallocFrom_ = nullptr;
};
