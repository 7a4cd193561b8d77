#include "server/ObjectMap.h"
#include "registration/Registrar.h"
#include "registration/TypeLibRegistration.h"
#include "server/AggregatedObject.h"
#include "server/ClassFactory.h"
#include "server/ServerModule.h"
#include "server/StandaloneObject.h"
#include "vesker.h"

namespace {

// The REGISTRY resource that holds the class's registration script.
constexpr UINT kUnLhaScriptResource = 101;

// The UnLha row is always taken by the registration walks.
const char* WINAPI UnLhaDescription()
{
    return nullptr;
}

} // namespace

ObjectMapEntry g_objectMap[] = {
    {&CLSID_UnLha, UpdateUnLhaRegistry, CreateClassFactory, CreateUnLhaInstance, nullptr, 0, UnLhaDescription},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr},
};

HRESULT WINAPI UpdateUnLhaRegistry(BOOL registerClass)
{
    return ApplyRegistrationScript(&g_serverModule, kUnLhaScriptResource, registerClass, nullptr);
}

HRESULT RegisterObjectMapTypeLib(ServerModule* module)
{
    return TypeLibRegistration(module, nullptr);
}

HRESULT WINAPI CreateUnLhaInstance(void* outerUnknown, REFIID iid, void** out)
{
    if (!outerUnknown) return CreateStandaloneObject(iid, out);
    return CreateAggregatedObject(static_cast<IUnknown*>(outerUnknown), iid, out);
}
