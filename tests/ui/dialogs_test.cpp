// The Preferences and User Device dialogs opened from the menu and worked with the real widgets,
// offscreen; and the VE learn display's buttons on the main window.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QSlider>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

#include "app/main_window.h"
#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "datalog/datalog.h"
#include "datalog/playback.h"
#include "dialogs/preferences.h"
#include "dialogs/user_devices.h"
#include "stream/display_thread.h"
#include "support/live.h"
#include "support/log_builder.h"
#include "support/scripted_ui.h"
#include "ui/qt_controls.h"
#include "ui/qt_ui.h"
#include "ui/serve.h"
#include "velearn/ve_display.h"
#include "velearn/ve_learn_state.h"

namespace {

// Works with the modal dialog that `open` shows, while it is open; a dialog that is still open
// after ten seconds is closed so that a failing test does not hang.
void with_dialog(const std::function<void()>& open, const std::function<void(QWidget*)>& work)
{
    QTimer::singleShot(0, [work] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        work(dialog);
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* d = QApplication::activeModalWidget())
            d->close();
    });
    guard.start(10000);
    open();
}

QWidget* control(ControlHost* host, int id)
{
    auto* qt = dynamic_cast<QtControls*>(host);
    return qt != nullptr ? qt->widget(id) : nullptr;
}

void retype(QWidget* w, const char* text)
{
    auto* edit = qobject_cast<QLineEdit*>(w);
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

void click(QWidget* w)
{
    ASSERT_NE(w, nullptr);
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
}

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        set_config_path(temp_dir() + "/dialogs_test.cfg");
        std::remove(config_path().c_str());
    }
    void TearDown() override { reset_everything(); }
    std::string config() const { return read_file(config_path()); }

    ScopedScriptedUi ui;
};

TEST_F(DialogsTest, PreferencesFromTheMenuStoreEveryKindOfControlOnOk)
{
    MainWindow w(false);
    Bytes log;
    for (uint32_t i = 0; i < 20; ++i)
        append(log, frame_bytes(sample_frame(i)));
    w.play(write_temp_file("dialogs_play.dat", log));
    ASSERT_TRUE(w.controls_host().exists(PLAYBACK_RATE));
    g_settings.lrnlwr = 80;

    std::string cts_in_fahrenheit;
    with_dialog([&] { w.command(CMD_PREFERENCES); }, [&](QWidget* dialog) {
        ControlHost* h = g_preferences.host;
        EXPECT_EQ(dialog->windowTitle(), "Preferences");
        EXPECT_EQ(static_cast<int>(g_ui_state.modal_dialog_open), 1);
        retype(control(h, GEN_MAX_SPEED), "345");
        click(control(h, GEN_FAHRENHEIT));
        cts_in_fahrenheit = qobject_cast<QLineEdit*>(control(h, GEN_MIN_CTS))->text().toStdString();
        qobject_cast<QSlider*>(control(h, GEN_PLAYBACK))->setValue(100);
        auto* rate = qobject_cast<QComboBox*>(control(h, GEN_RATE));
        rate->setFocus();
        QTest::keyClick(rate, Qt::Key_End);   // "17 Times a Second"
        click(control(h, GEN_ENTER));
        EXPECT_TRUE(control(h, PREF_APPLY)->isEnabled());

        auto* tabs = qobject_cast<QTabBar*>(control(h, PREF_TABS));
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(PAGE_ADC).center());
        ASSERT_NE(control(h, ADC_DEVICE + 3), nullptr) << "the ADC Channels page is shown";
        EXPECT_EQ(control(h, GEN_MAX_SPEED), nullptr);
        auto* device = qobject_cast<QComboBox*>(control(h, ADC_DEVICE + 3));
        device->setFocus();
        QTest::keyClick(device, Qt::Key_Down);   // from "None" to TT-1
        click(control(h, ADC_WB + 3));
        click(control(h, PREF_OK));
    });

    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "OK closed the dialog";
    EXPECT_EQ(cts_in_fahrenheit, "176");
    EXPECT_EQ(static_cast<int>(g_ui_state.modal_dialog_open), 0);
    EXPECT_EQ(static_cast<int>(g_ui_state.settings_changed), 1);
    EXPECT_EQ(static_cast<int>(g_settings.mphrange), 340);
    EXPECT_EQ(static_cast<int>(g_settings.temperscale), 0);
    EXPECT_EQ(static_cast<int>(g_settings.lrnlwr), 176);
    EXPECT_EQ(static_cast<int>(g_settings.pbspd), 0);
    EXPECT_EQ(static_cast<int>(g_settings.updaterate), 3);
    EXPECT_EQ(static_cast<int>(g_settings.frame_skip_code), 0);
    EXPECT_EQ(static_cast<int>(g_settings.enterpause), 1);
    EXPECT_EQ(static_cast<int>(g_settings.ad[3].type), DEVICE_WIDEBAND);
    EXPECT_EQ(static_cast<int>(g_settings.ad[3].index), 1);
    EXPECT_EQ(g_adc.wb_channel, 3) << "the channel state was rebuilt";
    EXPECT_EQ(w.controls_host().value(PLAYBACK_RATE), 100) << "the playback trackbar follows [PBSPD]";
    std::string cfg = config();
    EXPECT_NE(cfg.find("[MPHRANGE] 340\r\n"), std::string::npos);
    EXPECT_NE(cfg.find("[AD3WBPREF] 1\r\n"), std::string::npos);
    w.stop_playing();
}

TEST_F(DialogsTest, ApplyWritesTheFileAndKeepsTheDialogOpenUntilEsc)
{
    MainWindow w(false);
    bool open_after_apply = false;
    std::string written;
    with_dialog([&] { w.command(CMD_PREFERENCES); }, [&](QWidget* dialog) {
        ControlHost* h = g_preferences.host;
        EXPECT_FALSE(control(h, PREF_APPLY)->isEnabled());
        retype(control(h, GEN_MAX_TACHO), "6400");
        click(control(h, PREF_APPLY));
        written = config();
        open_after_apply = QApplication::activeModalWidget() == dialog;
        EXPECT_FALSE(control(h, PREF_APPLY)->isEnabled());
        retype(control(h, GEN_REDLINE), "100");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_TRUE(open_after_apply);
    EXPECT_NE(written.find("[RPMRANGE] 6000\r\n"), std::string::npos);
    EXPECT_EQ(static_cast<int>(g_settings.rpmrange), 6000);
    EXPECT_EQ(static_cast<int>(g_settings.rdln), 5800) << "Esc cancels what followed Apply";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(static_cast<int>(g_ui_state.modal_dialog_open), 0);
}

TEST_F(DialogsTest, UserDeviceDialogCorrectsFieldsAsTheyAreLeftAndStoresOnApply)
{
    MainWindow w(false);
    std::string volt_after_leaving, value_after_typing;
    bool focus_returned = false;
    qsizetype name_length = 0;
    with_dialog([&] { w.command(CMD_USER_DEVICES); }, [&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "User Device");
        dialog->activateWindow();
        serve_for(0.02);
        ControlHost* h = g_user_device_dialog.host;
        retype(control(h, UD_NAME), std::string(60, 'n').c_str());
        name_length = qobject_cast<QLineEdit*>(control(h, UD_NAME))->text().size();
        retype(control(h, UD_NAME), "Oil Pressure");
        retype(control(h, UD_UNIT), "psi");
        retype(control(h, UD_VOLT_K), "7");
        QTest::keyClick(control(h, UD_VOLT_K), Qt::Key_Tab);
        auto* volt = qobject_cast<QLineEdit*>(control(h, UD_VOLT_K));
        serve_until([volt] { return volt->text() == "5.000"; }, 5);   // reported once the focus has moved
        volt_after_leaving = qobject_cast<QLineEdit*>(control(h, UD_VOLT_K))->text().toStdString();
        focus_returned = QApplication::focusWidget() == control(h, UD_VOLT_K);
        retype(control(h, UD_VALUE_K), "1x5y0");
        value_after_typing = qobject_cast<QLineEdit*>(control(h, UD_VALUE_K))->text().toStdString();
        click(control(h, UD_APPLY));
        click(control(h, UD_CLOSE));
    });
    EXPECT_EQ(name_length, 48) << "a name takes what its key holds";
    EXPECT_EQ(volt_after_leaving, "5.000");
    EXPECT_TRUE(focus_returned) << "the corrected field has the focus again";
    EXPECT_EQ(value_after_typing, "150");
    EXPECT_GE(ui.beeps, 3) << "one for the correction, one for each letter";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    const UserDeviceSettings& d = g_settings.ud[0];
    EXPECT_EQ(static_cast<int>(d.active), 1);
    EXPECT_EQ(d.name, "Oil Pressure");
    EXPECT_EQ(static_cast<int>(d.volt_k), 5000);
    EXPECT_EQ(static_cast<int>(d.unit_k), 1500000);
    EXPECT_EQ(g_adc.catalogue[22].name, "Oil Pressure") << "the catalogue was rebuilt on closing";
    EXPECT_NE(config().find("[UD0UNIT] psi\r\n"), std::string::npos);
    EXPECT_EQ(static_cast<int>(g_ui_state.modal_dialog_open), 0);
}

TEST_F(DialogsTest, TheDataLogDialogRefusesANameInAFolderThatDoesNotExistAndTakesTheCorrectedOne)
{
    std::string folder = temp_dir() + "/logs-here";
    std::filesystem::create_directories(folder);
    std::remove((folder + "/drive.dat").c_str());
    g_settings.dlogpath = folder + "/";
    g_settings.dlogname = "";
    QtUi qt;
    set_ui(&qt);
    QString refusal;
    bool open_after_refusal = false;
    with_dialog([] { choose_and_start_logging(); }, [&](QWidget* dialog) {
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText("no_such_folder/drive.dat");
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                refusal = box->text();
                box->accept();
            }
        });
        static_cast<QDialog*>(dialog)->accept();
        open_after_refusal = dialog->isVisible();
        name->setText("drive.dat");
        static_cast<QDialog*>(dialog)->accept();
    });
    set_ui(&ui);
    EXPECT_TRUE(refusal.contains("no_such_folder")) << refusal.toStdString();
    EXPECT_TRUE(open_after_refusal) << "the user corrects the name in the dialog";
    EXPECT_EQ(g_datalog.logging_on, 1);
    EXPECT_EQ(g_settings.dlog, folder + "/drive.dat");
    EXPECT_TRUE(ui.shown.empty()) << "no failure after the dialog";
    stop_logging();
}

TEST_F(DialogsTest, VeDisplayButtonsChooseTheTableAndClearDataGivesTheKeysBack)
{
    MainWindow w(false);
    w.show();
    w.command(CMD_VE_LEARN);
    serve_for(0.02);
    ASSERT_EQ(static_cast<int>(g_display.active_display), DISPLAY_VE_LEARN);
    QtControls& host = w.controls_host();
    ASSERT_NE(host.widget(VE_CLEAR), nullptr);
    EXPECT_EQ(host.widget(VE_CLEAR)->geometry(), QRect(686, 220, 80, 30));
    EXPECT_TRUE(host.checked(VE_ORIGINAL));
    EXPECT_EQ(w.canvas().pixel(150, 300), QColor(240, 240, 240)) << "the frame around the table";

    click(host.widget(VE_CORRECTIONS));
    EXPECT_EQ(static_cast<int>(g_ve_display.table_choice), VE_SHOW_CORRECTIONS);
    g_ve_learn.ve_corrections[1][1] = 140;
    click(host.widget(VE_CLEAR));
    serve_for(0.02);
    EXPECT_EQ(g_ve_learn.ve_corrections[1][1], 0u);
    EXPECT_NE(QApplication::focusWidget(), host.widget(VE_CLEAR));

    w.command(CMD_GLANZO);
    EXPECT_EQ(host.widget(VE_CLEAR), nullptr) << "the buttons go with the display";
    EXPECT_EQ(static_cast<int>(g_ve_display.table_choice), VE_SHOW_CORRECTIONS);
}

}  // namespace
