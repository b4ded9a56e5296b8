// The three tools' Win32 dialogs: each its sequences behind its template, the buttons wired to them.
#pragma once

#include "RibbonCapTool.h"
#include "RibbonSenseTool.h"
#include "SensorPosTool.h"
#include "Win32ToolDialog.h"

class SensorPosWin32Dialog : public Win32ToolDialog {
public:
    SensorPosWin32Dialog() : Win32ToolDialog(sensorpos::kLog, Keys::Swallowed), tool_(*this) {}

protected:
    void OnInit() override { tool_.Init(); }
    void OnButton(int id) override {
        if (id == sensorpos::kGet) tool_.OnGet();
        if (id == sensorpos::kSet) tool_.OnSet();
    }

private:
    sensorpos::SensorPosTool tool_;
};

// Enter and Escape keep the dialog's own behaviour here: Escape closes it.
class RibbonCapWin32Dialog : public Win32ToolDialog {
public:
    RibbonCapWin32Dialog() : Win32ToolDialog(0, Keys::Dialog), tool_(*this) {}

protected:
    void OnInit() override { tool_.Init(); }
    void OnButton(int id) override {
        if (id == ribboncap::kSetting) tool_.OnSetting();
        if (id == ribboncap::kExit) End(IDOK);
    }

private:
    ribboncap::RibbonCapTool tool_;
};

class RibbonSenseWin32Dialog : public Win32ToolDialog {
public:
    explicit RibbonSenseWin32Dialog(std::function<std::time_t()> clock = nullptr)
        : Win32ToolDialog(ribbonsense::kLog, Keys::Swallowed), tool_(*this, std::move(clock)) {}

protected:
    void OnInit() override { tool_.Init(); }
    void OnButton(int id) override {
        if (id == ribbonsense::kCheck) tool_.OnCheck();
        if (id == ribbonsense::kSet) tool_.OnSet();
        if (id == ribbonsense::kExit) End(IDOK);
    }

private:
    ribbonsense::RibbonSenseTool tool_;
};
