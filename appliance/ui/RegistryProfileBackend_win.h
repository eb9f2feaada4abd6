// Connection profiles in the registry: HKCU\<settings>\Profiles, a subkey per
// profile, "defaultProfile" on the Profiles key.
#pragma once

#include "appliance/ui/ProfileStore.h"

class RegistryProfileBackend : public ProfileBackend {
public:
    std::string ReadDefault() override;
    std::vector<std::string> ProfileNames() override;
    StoredProfile Read(const std::string& name) override;
    bool Write(const std::string& name, const StoredProfile& profile) override;
    bool Delete(const std::string& name) override;
    bool WriteDefault(const std::string& name) override;
    bool DeleteAll() override;
};

// The store over the registry.
std::unique_ptr<ProfileStore> MakeRegistryProfileStore();
