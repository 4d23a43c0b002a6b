// What the recorder form's and main window's tests share: a registry of the test's own with
// the engine registered in it, virtual devices, settings seeded before the form starts, and
// the form's controls found by their ids.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "AppTestEnvironment.h"
#include "AudioServer.h"
#include "MessageQueuePump.h"
#include "ScriptedMessageBoxes.h"
#include "SettingsStore.h"
#include "TempFolder.h"
#include "VirtualDevices.h"

class FormTest : public AudioAppTest
{
protected:
    void SetUp() override
    {
        AudioAppTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // The settings of each test start from nothing; the engine's registration comes along.
        shared = std::getenv("QUILLET_REGISTRY_DIR");
        std::filesystem::copy_file(std::filesystem::path(shared) / "classes.reg",
                                   registry.Path() / "classes.reg");
        setenv("QUILLET_REGISTRY_DIR", registry.Path().c_str(), 1);
        settings = std::make_unique<SettingsStore>();
    }
    void TearDown() override
    {
        if (!shared.empty())
            setenv("QUILLET_REGISTRY_DIR", shared.c_str(), 1);
        AppTest::TearDown();
    }

    // A store that reads what the registry holds now, as the next start of the program would.
    std::unique_ptr<SettingsStore> ReloadedSettings() { return std::make_unique<SettingsStore>(); }

    template <class T> static T* Control(QWidget* form, int id)
    {
        return form->findChild<T*>(QString::number(id));
    }

    std::string shared;
    TempFolder registry;
    TempFolder folder;
    VirtualDevices devices{kVirtualDeviceText};
    MessageQueuePump pump;
    ScriptedMessageBoxes boxes;
    std::unique_ptr<SettingsStore> settings;
};
