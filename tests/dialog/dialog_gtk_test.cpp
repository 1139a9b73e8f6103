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

TEST_F(DialogGtkTest, TemplateHasEveryControlWithItsLabel)
{
    EXPECT_FALSE(gtk_window_get_resizable(window));
    EXPECT_TRUE(gtk_window_get_modal(window));
    struct Expected {
        int id;
        const char* label;
    };
    for (Expected e : {Expected{DIALOG_ID_GO, "_Go!"}, Expected{DIALOG_ID_EXIT, "_Exit"},
                       Expected{DIALOG_ID_RES_640, "640 x _480"},
                       Expected{DIALOG_ID_RES_800, "800 x _600"},
                       Expected{DIALOG_ID_RES_1024, "1024 x _768"},
                       Expected{DIALOG_ID_FULL_SCREEN, "_Full screen"},
                       Expected{DIALOG_ID_NO_SOUND, "No _sound"}}) {
        SCOPED_TRACE(e.id);
        GtkWidget* w = control(e.id);
        ASSERT_TRUE(w && GTK_IS_BUTTON(w));
        EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(w)), e.label);
        EXPECT_TRUE(gtk_button_get_use_underline(GTK_BUTTON(w)));
        EXPECT_TRUE(gtk_widget_is_drawable(w));
    }
    EXPECT_EQ(find_control(window, 1005), nullptr);

    GSList* group = gtk_radio_button_get_group(GTK_RADIO_BUTTON(control(DIALOG_ID_RES_640)));
    EXPECT_EQ(g_slist_length(group), 3u);
    for (int id : {DIALOG_ID_RES_640, DIALOG_ID_RES_800, DIALOG_ID_RES_1024}) {
        EXPECT_NE(g_slist_find(group, control(id)), nullptr) << id;
        EXPECT_FALSE(gtk_toggle_button_get_mode(GTK_TOGGLE_BUTTON(control(id)))) << "push-like";
    }
    EXPECT_TRUE(GTK_IS_CHECK_BUTTON(control(DIALOG_ID_FULL_SCREEN)));
    EXPECT_TRUE(GTK_IS_CHECK_BUTTON(control(DIALOG_ID_NO_SOUND)));

    GtkWidget* frame = gtk_widget_get_ancestor(control(DIALOG_ID_RES_800), GTK_TYPE_FRAME);
    ASSERT_NE(frame, nullptr);
    EXPECT_STREQ(gtk_frame_get_label(GTK_FRAME(frame)), "Resolution:");
}

TEST_F(DialogGtkTest, OpensCentredWithGoAsDefaultAndFocus)
{
    EXPECT_EQ(gtk_window_get_default_widget(window), control(DIALOG_ID_GO));
    EXPECT_EQ(gtk_window_get_focus(window), control(DIALOG_ID_GO));
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(window)), &x, &y);
    int w = gtk_widget_get_allocated_width(GTK_WIDGET(window));
    int h = gtk_widget_get_allocated_height(GTK_WIDGET(window));
    EXPECT_NEAR(x + w / 2, screen_w / 2, 8);
    EXPECT_NEAR(y + h / 2, screen_h / 2, 8);

    // The controls show the settings the dialog starts from.
    EXPECT_TRUE(is_active(control(DIALOG_ID_RES_1024)));
    EXPECT_FALSE(is_active(control(DIALOG_ID_RES_640)));
    EXPECT_FALSE(is_active(control(DIALOG_ID_RES_800)));
    EXPECT_TRUE(is_active(control(DIALOG_ID_FULL_SCREEN)));
    EXPECT_FALSE(is_active(control(DIALOG_ID_NO_SOUND)));
    EXPECT_TRUE(commands.empty()) << "setting the controls is not a press";
}

TEST_F(DialogGtkTest, GoAtOnceGives1024x768FullScreenWithSound)
{
    gtk_button_clicked(GTK_BUTTON(control(DIALOG_ID_GO)));
    EXPECT_EQ(dialog_box_result(), DIALOG_ID_GO);
    EXPECT_EQ(screen_width, 1024);
    EXPECT_EQ(screen_height, 768);
    EXPECT_EQ(resolution_index, 2);
    EXPECT_TRUE(fullscreen);
    EXPECT_FALSE(no_sound);
}

TEST_F(DialogGtkTest, ExitEndsWithExit)
{
    gtk_button_clicked(GTK_BUTTON(control(DIALOG_ID_EXIT)));
    EXPECT_EQ(dialog_box_result(), DIALOG_ID_EXIT);
}

TEST_F(DialogGtkTest, ClickingResolutionsAndBoxesWritesTheSettings)
{
    gtk_button_clicked(GTK_BUTTON(control(DIALOG_ID_RES_640)));
    gtk_button_clicked(GTK_BUTTON(control(DIALOG_ID_RES_800)));
    EXPECT_EQ(screen_width, 800);
    EXPECT_EQ(screen_height, 600);
    EXPECT_TRUE(is_active(control(DIALOG_ID_RES_800)));
    EXPECT_FALSE(is_active(control(DIALOG_ID_RES_640)));
    EXPECT_FALSE(is_active(control(DIALOG_ID_RES_1024)));
    // Only the pressed radio button is a command, not the one it unchecks.
    EXPECT_EQ(commands, (std::vector<int>{DIALOG_ID_RES_640, DIALOG_ID_RES_800}));

    gtk_button_clicked(GTK_BUTTON(control(DIALOG_ID_FULL_SCREEN)));
    gtk_button_clicked(GTK_BUTTON(control(DIALOG_ID_NO_SOUND)));
    EXPECT_FALSE(fullscreen);
    EXPECT_TRUE(no_sound);
    EXPECT_EQ(dialog_box_result(), 0);
}

TEST_F(DialogGtkTest, MnemonicsActOnTheirControls)
{
    mnemonic(GDK_KEY_4);
    EXPECT_TRUE(run_until([] { return screen_width == 640; }));
    EXPECT_EQ(screen_height, 480);
    mnemonic(GDK_KEY_6);
    EXPECT_TRUE(run_until([] { return screen_width == 800; }));
    EXPECT_EQ(screen_height, 600);
    mnemonic(GDK_KEY_7);
    EXPECT_TRUE(run_until([] { return screen_width == 1024; }));
    EXPECT_EQ(screen_height, 768);
    EXPECT_TRUE(is_active(control(DIALOG_ID_RES_1024)));

    mnemonic(GDK_KEY_f);
    EXPECT_TRUE(run_until([] { return !fullscreen; }));
    EXPECT_FALSE(is_active(control(DIALOG_ID_FULL_SCREEN)));
    mnemonic(GDK_KEY_s);
    EXPECT_TRUE(run_until([] { return no_sound; }));
    EXPECT_TRUE(is_active(control(DIALOG_ID_NO_SOUND)));
    EXPECT_EQ(dialog_box_result(), 0);

    mnemonic(GDK_KEY_e);
    EXPECT_TRUE(run_until([] { return dialog_box_result() != 0; }));
    EXPECT_EQ(dialog_box_result(), DIALOG_ID_EXIT);
}

TEST_F(DialogGtkTest, AltGPressesGo)
{
    mnemonic(GDK_KEY_g);
    EXPECT_TRUE(run_until([] { return dialog_box_result() != 0; }));
    EXPECT_EQ(dialog_box_result(), DIALOG_ID_GO);
}

TEST_F(DialogGtkTest, ReturnPressesGo)
{
    gtk_button_clicked(GTK_BUTTON(control(DIALOG_ID_NO_SOUND)));
    gtk_widget_grab_focus(control(DIALOG_ID_NO_SOUND));
    send_key(window, GDK_KEY_Return);
    EXPECT_TRUE(run_until([] { return dialog_box_result() != 0; }));
    EXPECT_EQ(dialog_box_result(), DIALOG_ID_GO);
    EXPECT_TRUE(no_sound);
}

TEST_F(DialogGtkTest, EscapeAndCloseLeaveTheDialogOpen)
{
    bool destroyed = false;
    g_signal_connect(window, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer flag) {
                         *static_cast<bool*>(flag) = true;
                     }),
                     &destroyed);

    send_key(window, GDK_KEY_Escape);
    drain();
    GdkEvent* close = gdk_event_new(GDK_DELETE);
    close->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(window))));
    close->any.send_event = TRUE;
    gtk_main_do_event(close);
    gdk_event_free(close);
    drain();

    EXPECT_FALSE(destroyed);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window)));
    EXPECT_EQ(dialog_box_result(), 0);
    // Both reach the procedure as Cancel, which it ignores.
    EXPECT_EQ(commands, (std::vector<int>{DIALOG_ID_CANCEL, DIALOG_ID_CANCEL}));
    EXPECT_EQ(screen_width, 1024);
    EXPECT_TRUE(fullscreen);

    gtk_button_clicked(GTK_BUTTON(control(DIALOG_ID_GO)));
    EXPECT_EQ(dialog_box_result(), DIALOG_ID_GO);
}

TEST_F(DialogGtkTest, TabFollowsTheTemplateOrder)
{
    std::vector<int> forward;
    for (int i = 0; i < 4; ++i) {
        send_key(window, GDK_KEY_Tab);
        forward.push_back(atoi(gtk_widget_get_name(gtk_window_get_focus(window))));
    }
    EXPECT_EQ(forward, (std::vector<int>{DIALOG_ID_EXIT, DIALOG_ID_FULL_SCREEN,
                                         DIALOG_ID_NO_SOUND, DIALOG_ID_GO}));
    std::vector<int> backward;
    for (int i = 0; i < 4; ++i) {
        send_key(window, GDK_KEY_ISO_Left_Tab, GDK_SHIFT_MASK);
        backward.push_back(atoi(gtk_widget_get_name(gtk_window_get_focus(window))));
    }
    EXPECT_EQ(backward, (std::vector<int>{DIALOG_ID_NO_SOUND, DIALOG_ID_FULL_SCREEN,
                                          DIALOG_ID_EXIT, DIALOG_ID_GO}));
    // From a resolution button Tab goes on to the next tab stop after it.
    gtk_widget_grab_focus(control(DIALOG_ID_RES_800));
    send_key(window, GDK_KEY_Tab);
    EXPECT_EQ(gtk_window_get_focus(window), control(DIALOG_ID_FULL_SCREEN));
}

TEST_F(DialogGtkTest, DrawsEveryControl)
{
    GdkWindow* gdk_window = gtk_widget_get_window(GTK_WIDGET(window));
    gtk_widget_queue_draw(GTK_WIDGET(window));
    drain();
    gdk_display_sync(gdk_window_get_display(gdk_window));
    int w = gdk_window_get_width(gdk_window);
    int h = gdk_window_get_height(gdk_window);
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_window, 0, 0, w, h);
    ASSERT_NE(shot, nullptr);
    gdk_pixbuf_save(shot, GLOWCAM_BINARY_DIR "/dialog.png", "png", nullptr, nullptr);

    // Each control's area holds dark text on a light face.
    auto dark_pixels = [&](GtkWidget* widget) {
        GtkAllocation a;
        gtk_widget_get_allocation(widget, &a);
        int x0 = 0, y0 = 0;
        gtk_widget_translate_coordinates(widget, GTK_WIDGET(window), 0, 0, &x0, &y0);
        const guchar* pixels = gdk_pixbuf_get_pixels(shot);
        int stride = gdk_pixbuf_get_rowstride(shot);
        int channels = gdk_pixbuf_get_n_channels(shot);
        int dark = 0;
        for (int y = y0; y < y0 + a.height && y < h; ++y)
            for (int x = x0; x < x0 + a.width && x < w; ++x) {
                const guchar* p = pixels + y * stride + x * channels;
                if (p[0] + p[1] + p[2] < 3 * 96)
                    ++dark;
            }
        return dark;
    };
    for (int id : {DIALOG_ID_GO, DIALOG_ID_EXIT, DIALOG_ID_RES_640, DIALOG_ID_RES_800,
                   DIALOG_ID_RES_1024, DIALOG_ID_FULL_SCREEN, DIALOG_ID_NO_SOUND})
        EXPECT_GT(dark_pixels(control(id)), 20) << id;
    g_object_unref(shot);
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
