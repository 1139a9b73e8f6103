// The real GTK dialog on a private X server, driven in-process: clicks,
// mnemonics and keys go through GTK as a user's would.
#include "app/dialog.h"
#include "app/dialog_box.h"
#include "core/settings.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int screen_w = 1024;
constexpr int screen_h = 768;

std::vector<int> commands;  // ids the procedure was sent

bool recording_proc(const DialogControls* dialog, DialogMessage message, int id)
{
    if (message == DIALOG_COMMAND)
        commands.push_back(id);
    return config_dialog_proc(dialog, message, id);
}

GtkWindow* find_config_window()
{
    GtkWindow* found = nullptr;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* l = toplevels; l; l = l->next) {
        const char* title = gtk_window_get_title(GTK_WINDOW(l->data));
        if (title && std::string(title) == "Config:")
            found = GTK_WINDOW(l->data);
    }
    g_list_free(toplevels);
    return found;
}

void collect_named(GtkWidget* widget, gpointer out)
{
    static_cast<std::vector<GtkWidget*>*>(out)->push_back(widget);
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(GTK_CONTAINER(widget), collect_named, out);
}

// The control whose widget name is its id, as the template names it.
GtkWidget* find_control(GtkWindow* window, int id)
{
    std::vector<GtkWidget*> all;
    collect_named(GTK_WIDGET(window), &all);
    for (GtkWidget* w : all)
        if (std::string(gtk_widget_get_name(w)) == std::to_string(id))
            return w;
    return nullptr;
}

bool is_active(GtkWidget* w) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w)); }

// Lets GTK run until pred holds; the deadline only keeps a broken build from
// hanging the run.
template <typename Pred>
bool run_until(Pred pred)
{
    gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    guint wake = g_timeout_add(50, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    while (!pred() && g_get_monotonic_time() < deadline)
        g_main_context_iteration(nullptr, TRUE);
    g_source_remove(wake);
    return pred();
}

void drain()
{
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
}

void send_key(GtkWindow* window, guint keyval, guint state = 0)
{
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window));
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(window))));
        event->key.send_event = TRUE;
        event->key.time = GDK_CURRENT_TIME;
        event->key.state = state;
        event->key.keyval = keyval;
        GdkKeymapKey* keys = nullptr;
        gint n = 0;
        if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys,
                                              &n)) {
            event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
            event->key.group = static_cast<guint8>(keys[0].group);
            g_free(keys);
        }
        gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
        gtk_main_do_event(event);
        gdk_event_free(event);
    }
}

// One private X server for the whole program: GTK keeps its display
// connection once opened, as the program does after its dialog.
class XServer : public ::testing::Environment {
public:
    void SetUp() override
    {
        xvfb = new Xvfb(screen_w, screen_h);
        ASSERT_TRUE(xvfb->ok());
        setenv("DISPLAY", xvfb->display().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        setenv("GDK_BACKEND", "x11", 1);
        setenv("NO_AT_BRIDGE", "1", 1);  // no accessibility bus on a bare server
        // Any GTK warning is a fault of the dialog.
        g_log_set_always_fatal(GLogLevelFlags(G_LOG_FATAL_MASK | G_LOG_LEVEL_CRITICAL |
                                              G_LOG_LEVEL_WARNING));
    }
    void TearDown() override { delete xvfb; }

private:
    Xvfb* xvfb = nullptr;
};

::testing::Environment* const x_server = ::testing::AddGlobalTestEnvironment(new XServer);

class DialogGtkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        screen_width = 640;
        screen_height = 480;
        resolution_index = 0;
        fullscreen = true;
        no_sound = false;
        commands.clear();
        std::string error;
        ASSERT_TRUE(dialog_box_open(recording_proc, &error)) << error;
        window = find_config_window();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(run_until([&] { return gtk_widget_get_mapped(GTK_WIDGET(window)); }));
        drain();
    }
    void TearDown() override
    {
        dialog_box_close();
        EXPECT_EQ(find_config_window(), nullptr);
    }

    GtkWidget* control(int id)
    {
        GtkWidget* w = find_control(window, id);
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    void mnemonic(guint keyval)
    {
        ASSERT_TRUE(gtk_window_mnemonic_activate(window, keyval, GDK_MOD1_MASK)) << keyval;
    }

    GtkWindow* window = nullptr;
};

// Every control with its label, grouped as the template groups them; the
// dialog opens centred, Go the default and focused, showing the settings.
TEST_F(DialogGtkTest, OpensWithEveryControlAndGoFocused)
{
    EXPECT_TRUE(!gtk_window_get_resizable(window) && gtk_window_get_modal(window));
    const struct { int id; const char* label; } labels[] = {
        {DIALOG_ID_GO, "_Go!"}, {DIALOG_ID_EXIT, "_Exit"}, {DIALOG_ID_RES_640, "640 x _480"},
        {DIALOG_ID_RES_800, "800 x _600"}, {DIALOG_ID_RES_1024, "1024 x _768"},
        {DIALOG_ID_FULL_SCREEN, "_Full screen"}, {DIALOG_ID_NO_SOUND, "No _sound"}};
    for (const auto& e : labels) {
        GtkWidget* w = control(e.id);
        ASSERT_TRUE(w && GTK_IS_BUTTON(w)) << e.id;
        EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(w)), e.label);
        EXPECT_TRUE(gtk_button_get_use_underline(GTK_BUTTON(w)) && gtk_widget_is_drawable(w)) << e.id;
    }
    GSList* group = gtk_radio_button_get_group(GTK_RADIO_BUTTON(control(DIALOG_ID_RES_640)));
    EXPECT_EQ(g_slist_length(group), 3u);
    for (int id : {DIALOG_ID_RES_640, DIALOG_ID_RES_800, DIALOG_ID_RES_1024})
        EXPECT_TRUE(g_slist_find(group, control(id)) && !gtk_toggle_button_get_mode(GTK_TOGGLE_BUTTON(control(id))))
            << id << " is a push-like button of the group";
    EXPECT_TRUE(GTK_IS_CHECK_BUTTON(control(DIALOG_ID_FULL_SCREEN)) && GTK_IS_CHECK_BUTTON(control(DIALOG_ID_NO_SOUND)));
    GtkWidget* frame = gtk_widget_get_ancestor(control(DIALOG_ID_RES_800), GTK_TYPE_FRAME);
    ASSERT_NE(frame, nullptr);
    EXPECT_STREQ(gtk_frame_get_label(GTK_FRAME(frame)), "Resolution:");

    EXPECT_EQ(gtk_window_get_default_widget(window), control(DIALOG_ID_GO));
    EXPECT_EQ(gtk_window_get_focus(window), control(DIALOG_ID_GO));
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(window)), &x, &y);
    EXPECT_NEAR(x + gtk_widget_get_allocated_width(GTK_WIDGET(window)) / 2, screen_w / 2, 8);
    EXPECT_NEAR(y + gtk_widget_get_allocated_height(GTK_WIDGET(window)) / 2, screen_h / 2, 8);
    EXPECT_TRUE(is_active(control(DIALOG_ID_RES_1024)) && !is_active(control(DIALOG_ID_RES_640)) &&
                !is_active(control(DIALOG_ID_RES_800)));
    EXPECT_TRUE(is_active(control(DIALOG_ID_FULL_SCREEN)) && !is_active(control(DIALOG_ID_NO_SOUND)));
    EXPECT_TRUE(commands.empty()) << "setting the controls is not a press";
}

// Clicks and Alt mnemonics write the settings; only the pressed radio button
// is a command, not the one it unchecks; Exit ends the dialog.
TEST_F(DialogGtkTest, ClicksAndMnemonicsWriteTheSettings)
{
    gtk_button_clicked(GTK_BUTTON(control(DIALOG_ID_RES_640)));
    gtk_button_clicked(GTK_BUTTON(control(DIALOG_ID_RES_800)));
    EXPECT_TRUE(screen_width == 800 && screen_height == 600 && is_active(control(DIALOG_ID_RES_800)));
    EXPECT_EQ(commands, (std::vector<int>{DIALOG_ID_RES_640, DIALOG_ID_RES_800}));
    gtk_button_clicked(GTK_BUTTON(control(DIALOG_ID_FULL_SCREEN)));
    EXPECT_FALSE(fullscreen);
    const struct { guint key; bool (*done)(); } mnemonics[] = {
        {GDK_KEY_4, [] { return screen_width == 640 && screen_height == 480; }},
        {GDK_KEY_7, [] { return screen_width == 1024 && screen_height == 768; }},
        {GDK_KEY_6, [] { return screen_width == 800 && screen_height == 600; }},
        {GDK_KEY_f, [] { return fullscreen; }},
        {GDK_KEY_s, [] { return no_sound; }},
        {GDK_KEY_e, [] { return dialog_box_result() == DIALOG_ID_EXIT; }}};
    for (const auto& m : mnemonics) {
        EXPECT_EQ(dialog_box_result(), 0);
        mnemonic(m.key);
        EXPECT_TRUE(run_until(m.done)) << "Alt+" << gdk_keyval_name(m.key);
    }
    EXPECT_TRUE(is_active(control(DIALOG_ID_RES_800)) && is_active(control(DIALOG_ID_NO_SOUND)));
}

// Escape and the close box reach the procedure as Cancel, which it ignores;
// Tab walks the template's tab stops; Return presses Go wherever the focus is.
TEST_F(DialogGtkTest, KeysAndCloseAsTheTemplateSays)
{
    bool destroyed = false;
    g_signal_connect(window, "destroy",
                     G_CALLBACK(+[](GtkWidget*, gpointer flag) { *static_cast<bool*>(flag) = true; }), &destroyed);
    send_key(window, GDK_KEY_Escape);
    GdkEvent* close = gdk_event_new(GDK_DELETE);
    close->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(window))));
    close->any.send_event = TRUE;
    gtk_main_do_event(close);
    gdk_event_free(close);
    drain();
    EXPECT_TRUE(!destroyed && gtk_widget_get_visible(GTK_WIDGET(window)) && dialog_box_result() == 0);
    EXPECT_EQ(commands, (std::vector<int>{DIALOG_ID_CANCEL, DIALOG_ID_CANCEL}));

    const struct { guint key, state; std::vector<int> stops; } walks[] = {
        {GDK_KEY_Tab, 0, {DIALOG_ID_EXIT, DIALOG_ID_FULL_SCREEN, DIALOG_ID_NO_SOUND, DIALOG_ID_GO}},
        {GDK_KEY_ISO_Left_Tab, GDK_SHIFT_MASK, {DIALOG_ID_NO_SOUND, DIALOG_ID_FULL_SCREEN, DIALOG_ID_EXIT, DIALOG_ID_GO}}};
    for (const auto& w : walks) {
        std::vector<int> stops;
        for (size_t i = 0; i < w.stops.size(); ++i) {
            send_key(window, w.key, w.state);
            stops.push_back(atoi(gtk_widget_get_name(gtk_window_get_focus(window))));
        }
        EXPECT_EQ(stops, w.stops);
    }
    // From a resolution button Tab goes on to the next tab stop after it.
    gtk_widget_grab_focus(control(DIALOG_ID_RES_800));
    send_key(window, GDK_KEY_Tab);
    EXPECT_EQ(gtk_window_get_focus(window), control(DIALOG_ID_FULL_SCREEN));
    send_key(window, GDK_KEY_Return);
    EXPECT_TRUE(run_until([] { return dialog_box_result() != 0; }));
    EXPECT_EQ(dialog_box_result(), DIALOG_ID_GO);
    EXPECT_TRUE(screen_width == 1024 && fullscreen && !no_sound);
}

TEST(DialogRun, EndsWithTheWindowGoneAndRunsAgain)
{
    auto press_when_shown = [](int id) {
        g_idle_add(
            [](gpointer data) -> gboolean {
                GtkWindow* w = find_config_window();
                if (!w || !gtk_widget_get_mapped(GTK_WIDGET(w)))
                    return G_SOURCE_CONTINUE;
                gtk_button_clicked(GTK_BUTTON(find_control(w, GPOINTER_TO_INT(data))));
                return G_SOURCE_REMOVE;
            },
            GINT_TO_POINTER(id));
    };

    bool no_display = true;
    press_when_shown(DIALOG_ID_EXIT);
    EXPECT_FALSE(config_dialog_run(&no_display));
    EXPECT_FALSE(no_display);
    EXPECT_EQ(find_config_window(), nullptr);
    EXPECT_FALSE(gtk_events_pending());

    press_when_shown(DIALOG_ID_GO);
    EXPECT_TRUE(config_dialog_run(&no_display));
    EXPECT_FALSE(no_display);
    EXPECT_EQ(find_config_window(), nullptr);
}

}  // namespace
