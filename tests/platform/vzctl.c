/* A test control device for ALSA: elements of a sound card's mixer, chosen by layout ("hda",
 * "ac97" or "usb"), whose values persist in a state file and whose every write is logged.
 * Like a card's control device it sends change events to whoever subscribed: for its own
 * writes, and for the writes of any other opening of the same device (seen through the state
 * file changing). Removing the state file unplugs it: from then on reading its events fails as a
 * card's does once it has gone.
 *
 *   ctl_type.vzctl { lib "/path/libasound_module_ctl_vzctl.so" }
 *   ctl.name { type vzctl layout "hda" state "/path/state" log "/path/log" }
 */
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>
#include <errno.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <unistd.h>

#define MAX_ELEMS 16
#define MAX_ITEMS 8

struct elem {
    const char *name;
    int type; /* SND_CTL_ELEM_TYPE_* */
    unsigned count;
    long min, max;
    const char *items[MAX_ITEMS];
    unsigned nitems;
    long value[2];
};

struct vzctl {
    snd_ctl_ext_t ext;
    struct elem elems[MAX_ELEMS];
    unsigned nelems;
    char *state;
    char *log;
    int watch_fd;             /* inotify on the state file's folder, or -1 */
    unsigned pending[MAX_ELEMS]; /* elements changed, not yet reported */
    unsigned npending;
    int gone; /* unplugged: the state file was removed */
};

#define INT(n, c, lo, hi, v) {n, SND_CTL_ELEM_TYPE_INTEGER, c, lo, hi, {0}, 0, {v, v}}
#define BOOL(n, c, v) {n, SND_CTL_ELEM_TYPE_BOOLEAN, c, 0, 1, {0}, 0, {v, v}}

static const struct elem hda[] = {
    INT("Master Playback Volume", 2, 0, 87, 60),
    BOOL("Master Playback Switch", 2, 1),
    INT("Capture Volume", 2, 0, 63, 20),
    BOOL("Capture Switch", 2, 0),
    {"Input Source", SND_CTL_ELEM_TYPE_ENUMERATED, 1, 0, 0, {"Front Mic", "Rear Mic", "Line"}, 3,
     {0, 0}},
    INT("Line Boost Volume", 2, 0, 3, 0),
    INT("Rear Mic Boost Volume", 2, 0, 3, 1),
};

static const struct elem ac97[] = {
    INT("Master Playback Volume", 2, 0, 31, 20),
    BOOL("Master Playback Switch", 2, 1),
    INT("Line Playback Volume", 2, 0, 31, 10),
    BOOL("Line Playback Switch", 2, 0),
    INT("Capture Volume", 2, 0, 15, 5),
    BOOL("Capture Switch", 2, 0),
    {"Capture Source", SND_CTL_ELEM_TYPE_ENUMERATED, 2, 0, 0,
     {"Mic", "CD", "Video", "Aux", "Line", "Mix", "Mix Mono", "Phone"}, 8, {0, 0}},
};

static const struct elem usb[] = {
    INT("Mic Capture Volume", 1, 0, 127, 30),
    BOOL("Mic Capture Switch", 1, 1),
    INT("Line Capture Volume", 2, 0, 127, 40),
    BOOL("Line Capture Switch", 2, 0),
};

static void save_state(struct vzctl *vz) {
    FILE *f;
    unsigned i;
    if (!vz->state)
        return;
    f = fopen(vz->state, "w");
    if (!f)
        return;
    for (i = 0; i < vz->nelems; i++)
        fprintf(f, "%s=%ld,%ld\n", vz->elems[i].name, vz->elems[i].value[0], vz->elems[i].value[1]);
    fclose(f);
}

static void load_state(struct vzctl *vz) {
    char line[256];
    FILE *f;
    if (!vz->state)
        return;
    f = fopen(vz->state, "r");
    if (!f)
        return;
    while (fgets(line, sizeof(line), f)) {
        char *eq = strchr(line, '=');
        unsigned i;
        if (!eq)
            continue;
        *eq = 0;
        for (i = 0; i < vz->nelems; i++)
            if (strcmp(vz->elems[i].name, line) == 0)
                sscanf(eq + 1, "%ld,%ld", &vz->elems[i].value[0], &vz->elems[i].value[1]);
    }
    fclose(f);
}

static void queue_event(struct vzctl *vz, unsigned key) {
    unsigned i;
    for (i = 0; i < vz->npending; i++)
        if (vz->pending[i] == key)
            return;
    if (vz->npending < MAX_ELEMS)
        vz->pending[vz->npending++] = key;
}

/* Another opening wrote the state file: take its values, noting the elements that changed. */
static void take_outside_changes(struct vzctl *vz) {
    struct elem before[MAX_ELEMS];
    unsigned i;
    memcpy(before, vz->elems, sizeof(before));
    load_state(vz);
    for (i = 0; i < vz->nelems; i++)
        if (before[i].value[0] != vz->elems[i].value[0] ||
            before[i].value[1] != vz->elems[i].value[1])
            queue_event(vz, i);
}

static void log_write(struct vzctl *vz, const struct elem *e) {
    FILE *f;
    if (!vz->log)
        return;
    f = fopen(vz->log, "a");
    if (!f)
        return;
    if (e->count > 1)
        fprintf(f, "%s=%ld,%ld\n", e->name, e->value[0], e->value[1]);
    else
        fprintf(f, "%s=%ld\n", e->name, e->value[0]);
    fclose(f);
}

static struct elem *elem_of(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key) {
    struct vzctl *vz = ext->private_data;
    return key < vz->nelems ? &vz->elems[key] : NULL;
}

static void vz_close(snd_ctl_ext_t *ext) {
    struct vzctl *vz = ext->private_data;
    if (vz->watch_fd >= 0)
        close(vz->watch_fd);
    free(vz->state);
    free(vz->log);
    free(vz);
}

static int vz_elem_count(snd_ctl_ext_t *ext) {
    return (int)((struct vzctl *)ext->private_data)->nelems;
}

static int vz_elem_list(snd_ctl_ext_t *ext, unsigned int offset, snd_ctl_elem_id_t *id) {
    struct vzctl *vz = ext->private_data;
    if (offset >= vz->nelems)
        return -EINVAL;
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, vz->elems[offset].name);
    return 0;
}

static snd_ctl_ext_key_t vz_find_elem(snd_ctl_ext_t *ext, const snd_ctl_elem_id_t *id) {
    struct vzctl *vz = ext->private_data;
    const char *name = snd_ctl_elem_id_get_name(id);
    unsigned i;
    for (i = 0; i < vz->nelems; i++)
        if (strcmp(vz->elems[i].name, name) == 0)
            return i;
    return SND_CTL_EXT_KEY_NOT_FOUND;
}

static int vz_get_attribute(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, int *type,
                            unsigned int *acc, unsigned int *count) {
    struct elem *e = elem_of(ext, key);
    if (!e)
        return -EINVAL;
    *type = e->type;
    *acc = SND_CTL_EXT_ACCESS_READWRITE;
    *count = e->count;
    return 0;
}

static int vz_get_integer_info(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, long *imin, long *imax,
                               long *istep) {
    struct elem *e = elem_of(ext, key);
    if (!e)
        return -EINVAL;
    *imin = e->min;
    *imax = e->max;
    *istep = 1;
    return 0;
}

static int vz_get_enumerated_info(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, unsigned int *items) {
    struct elem *e = elem_of(ext, key);
    if (!e)
        return -EINVAL;
    *items = e->nitems;
    return 0;
}

static int vz_get_enumerated_name(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, unsigned int item,
                                  char *name, size_t name_max_len) {
    struct elem *e = elem_of(ext, key);
    if (!e || item >= e->nitems)
        return -EINVAL;
    snprintf(name, name_max_len, "%s", e->items[item]);
    return 0;
}

static int vz_read_integer(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, long *value) {
    struct elem *e = elem_of(ext, key);
    unsigned i;
    if (!e)
        return -EINVAL;
    for (i = 0; i < e->count; i++)
        value[i] = e->value[i];
    return 0;
}

static int vz_read_enumerated(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, unsigned int *items) {
    struct elem *e = elem_of(ext, key);
    unsigned i;
    if (!e)
        return -EINVAL;
    for (i = 0; i < e->count; i++)
        items[i] = (unsigned)e->value[i];
    return 0;
}

static int vz_write_integer(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, long *value) {
    struct elem *e = elem_of(ext, key);
    unsigned i;
    int changed = 0;
    if (!e)
        return -EINVAL;
    for (i = 0; i < e->count; i++) {
        if (value[i] < e->min || value[i] > e->max)
            return -EINVAL;
        changed |= e->value[i] != value[i];
        e->value[i] = value[i];
    }
    log_write(ext->private_data, e);
    save_state(ext->private_data);
    if (changed)
        queue_event(ext->private_data, key);
    return changed;
}

static int vz_write_enumerated(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, unsigned int *items) {
    struct elem *e = elem_of(ext, key);
    unsigned i;
    int changed = 0;
    if (!e)
        return -EINVAL;
    for (i = 0; i < e->count; i++) {
        if (items[i] >= e->nitems)
            return -EINVAL;
        changed |= e->value[i] != (long)items[i];
        e->value[i] = items[i];
    }
    log_write(ext->private_data, e);
    save_state(ext->private_data);
    if (changed)
        queue_event(ext->private_data, key);
    return changed;
}

static int vz_read_event(snd_ctl_ext_t *ext, snd_ctl_elem_id_t *id, unsigned int *event_mask) {
    struct vzctl *vz = ext->private_data;
    char buffer[4096] __attribute__((aligned(__alignof__(struct inotify_event))));
    ssize_t length;
    const char *file = strrchr(vz->state ? vz->state : "", '/');
    int outside = 0;
    while (vz->watch_fd >= 0 && (length = read(vz->watch_fd, buffer, sizeof(buffer))) > 0) {
        char *at = buffer;
        while (at < buffer + length) {
            const struct inotify_event *event = (const struct inotify_event *)at;
            if (event->len > 0 && file && strcmp(event->name, file + 1) == 0) {
                if (event->mask & IN_DELETE)
                    vz->gone = 1;
                else
                    outside = 1;
            }
            at += sizeof(*event) + event->len;
        }
    }
    if (vz->gone)
        return -ENODEV;
    if (outside)
        take_outside_changes(vz);
    if (vz->npending == 0)
        return -EAGAIN;
    snd_ctl_elem_id_clear(id);
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, vz->elems[vz->pending[0]].name);
    *event_mask = SND_CTL_EVENT_MASK_VALUE;
    memmove(vz->pending, vz->pending + 1, --vz->npending * sizeof(vz->pending[0]));
    return 1;
}

static const snd_ctl_ext_callback_t vz_callback = {
    .close = vz_close,
    .elem_count = vz_elem_count,
    .elem_list = vz_elem_list,
    .find_elem = vz_find_elem,
    .get_attribute = vz_get_attribute,
    .get_integer_info = vz_get_integer_info,
    .get_enumerated_info = vz_get_enumerated_info,
    .get_enumerated_name = vz_get_enumerated_name,
    .read_integer = vz_read_integer,
    .read_enumerated = vz_read_enumerated,
    .write_integer = vz_write_integer,
    .write_enumerated = vz_write_enumerated,
    .read_event = vz_read_event,
};

SND_CTL_PLUGIN_DEFINE_FUNC(vzctl) {
    snd_config_iterator_t i, next;
    const char *layout = "hda", *state = NULL, *log = NULL;
    const struct elem *elems = hda;
    size_t n = sizeof(hda) / sizeof(hda[0]);
    struct vzctl *vz;
    int err;
    (void)root;

    snd_config_for_each(i, next, conf) {
        snd_config_t *node = snd_config_iterator_entry(i);
        const char *id;
        if (snd_config_get_id(node, &id) < 0)
            continue;
        if (strcmp(id, "comment") == 0 || strcmp(id, "type") == 0 || strcmp(id, "hint") == 0)
            continue;
        if (strcmp(id, "layout") == 0 && snd_config_get_string(node, &layout) == 0)
            continue;
        if (strcmp(id, "state") == 0 && snd_config_get_string(node, &state) == 0)
            continue;
        if (strcmp(id, "log") == 0 && snd_config_get_string(node, &log) == 0)
            continue;
        SNDERR("vzctl: unknown field %s", id);
        return -EINVAL;
    }
    if (strcmp(layout, "ac97") == 0) {
        elems = ac97;
        n = sizeof(ac97) / sizeof(ac97[0]);
    } else if (strcmp(layout, "usb") == 0) {
        elems = usb;
        n = sizeof(usb) / sizeof(usb[0]);
    } else if (strcmp(layout, "hda") != 0) {
        SNDERR("vzctl: unknown layout %s", layout);
        return -EINVAL;
    }

    vz = calloc(1, sizeof(*vz));
    if (!vz)
        return -ENOMEM;
    memcpy(vz->elems, elems, n * sizeof(*elems));
    vz->nelems = (unsigned)n;
    vz->state = state ? strdup(state) : NULL;
    vz->log = log ? strdup(log) : NULL;
    load_state(vz);
    vz->watch_fd = -1;
    if (vz->state) {
        char *folder = strdup(vz->state);
        vz->watch_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (vz->watch_fd >= 0 &&
            inotify_add_watch(vz->watch_fd, dirname(folder), IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE) < 0) {
            close(vz->watch_fd);
            vz->watch_fd = -1;
        }
        free(folder);
    }

    vz->ext.version = SND_CTL_EXT_VERSION;
    vz->ext.card_idx = 0;
    snprintf(vz->ext.id, sizeof(vz->ext.id), "vzctl");
    snprintf(vz->ext.driver, sizeof(vz->ext.driver), "vzctl");
    snprintf(vz->ext.name, sizeof(vz->ext.name), "Test %s", layout);
    snprintf(vz->ext.longname, sizeof(vz->ext.longname), "Test controls, %s layout", layout);
    snprintf(vz->ext.mixername, sizeof(vz->ext.mixername), "Test %s", layout);
    vz->ext.poll_fd = vz->watch_fd;
    vz->ext.callback = &vz_callback;
    vz->ext.private_data = vz;

    err = snd_ctl_ext_create(&vz->ext, name, mode);
    if (err < 0) {
        if (vz->watch_fd >= 0)
            close(vz->watch_fd);
        free(vz->state);
        free(vz->log);
        free(vz);
        return err;
    }
    *handlep = vz->ext.handle;
    return 0;
}

SND_CTL_PLUGIN_SYMBOL(vzctl);
