"""The catalogue of products and channels that the service answers from.

``catalogue.json`` in the data folder::

    {"products": {"<product id>": {
        "display_name": "...", "help_url": "...", "tutorial_url": "...",
        "launch_cmd": "...",
        "package": "<file in packages/>"  or  "download_url": "<absolute URL>",
        "channels": {"<channel>": {"custom_service": "...",
                                   "custom_service_qq": "..."}}}}}

A channel may override "package", "download_url", "launch_cmd",
"tutorial_url" and "help_url" of its product.

The service can be told to answer every installation request with one
package of packages/ (``--package``, for demos and tests): the download URL
then names that file, and the launch command is ``--launch-cmd`` when given,
else the one the catalogue gives with that package (the product's or one of
its channels' entry naming it), else the requested channel's.
"""

import json
import os
import shutil
import tempfile
import urllib.parse
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_CATALOGUE = os.path.join(HERE, "default_catalogue.json")


class CatalogueError(Exception):
    pass


class Catalogue:
    def __init__(self, products):
        self.products = products

    @classmethod
    def load(cls, path):
        try:
            with open(path, encoding="utf-8") as f:
                data = json.load(f)
        except (OSError, ValueError) as e:
            raise CatalogueError(f"cannot read catalogue {path}: {e}") from e
        products = data.get("products") if isinstance(data, dict) else None
        if not isinstance(products, dict):
            raise CatalogueError(f"catalogue {path} has no \"products\" object")
        return cls(products)

    def _entry(self, product, channel):
        info = self.products.get(product)
        if not isinstance(info, dict):
            return None, None
        channels = info.get("channels") or {}
        ch = channels.get(channel)
        if not isinstance(ch, dict):
            return info, None
        return info, ch

    def channel_reply(self, product, channel):
        """The channel reply, or None for an unknown product or channel."""
        info, ch = self._entry(product, channel)
        if ch is None:
            return None
        return {
            "custom_service": ch.get("custom_service", ""),
            "custom_service_qq": ch.get("custom_service_qq", ""),
            "product": {
                "display_name": info.get("display_name", product),
                "help_url": ch.get("help_url", info.get("help_url", "")),
            },
        }

    def installation(self, product, channel, base_url, package=None, launch_cmd=None):
        """The installation details, or None for an unknown product or channel.

        package and launch_cmd override the catalogue (see the module's
        description)."""
        info, ch = self._entry(product, channel)
        if ch is None:
            return None

        def pick(key):
            return ch.get(key, info.get(key))

        command = pick("launch_cmd")
        if package:
            download_url = base_url + "/packages/" + urllib.parse.quote(package)
            command = self._launch_cmd_with(info, package, command)
        else:
            download_url = pick("download_url")
            if not download_url:
                name = pick("package")
                if not name:
                    return None
                download_url = base_url + "/packages/" + urllib.parse.quote(name)
        if launch_cmd is not None:
            command = launch_cmd
        details = {"download_url": download_url, "launch_cmd": command or ""}
        for key in ("tutorial_url", "help_url"):
            value = pick(key)
            if isinstance(value, str):
                details[key] = value
        return details

    @staticmethod
    def _launch_cmd_with(info, package, fallback):
        """The launch command the product's entry gives with package."""
        if info.get("package") == package and "launch_cmd" in info:
            return info["launch_cmd"]
        for ch in (info.get("channels") or {}).values():
            if isinstance(ch, dict) and ch.get("package") == package:
                return ch.get("launch_cmd", info.get("launch_cmd"))
        return fallback


def copy_packages(source_dir, packages_dir):
    """Copies the files of source_dir (not its subfolders) into packages_dir,
    replacing those whose size or time differs. Returns the names copied."""
    if not os.path.isdir(source_dir):
        raise CatalogueError(f"no packages folder {source_dir}")
    os.makedirs(packages_dir, exist_ok=True)
    copied = []
    for name in sorted(os.listdir(source_dir)):
        source = os.path.join(source_dir, name)
        if name.startswith(".") or name.endswith(".tmp") or not os.path.isfile(source):
            continue
        target = os.path.join(packages_dir, name)
        st = os.stat(source)
        try:
            old = os.stat(target)
            if old.st_size == st.st_size and old.st_mtime_ns == st.st_mtime_ns:
                continue
        except OSError:
            pass
        _replace_with(target, lambda tmp, source=source: shutil.copy2(source, tmp))
        copied.append(name)
    return copied


def seed_data_folder(data_dir, packages_from=None):
    """Gives a new data folder the default catalogue and a demo package:
    the files of packages_from when given (the built sample packages),
    otherwise a zip without a program written here."""
    os.makedirs(os.path.join(data_dir, "packages"), exist_ok=True)
    if packages_from:
        copy_packages(packages_from, os.path.join(data_dir, "packages"))
    catalogue = os.path.join(data_dir, "catalogue.json")
    if not os.path.exists(catalogue):
        _replace_with(catalogue, lambda tmp: shutil.copyfile(DEFAULT_CATALOGUE, tmp))
    demo = os.path.join(data_dir, "packages", "fernwick-1.0.zip")
    if not os.path.exists(demo):
        _replace_with(demo, _write_demo_package)


def _write_demo_package(path):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("Fernwick/README.txt",
                   "Fernwick demo package served by the reference operator service.\r\n"
                   "The sample program Fernwick.exe is not in it: build the project and\r\n"
                   "start the service with --packages <build>/tools/samples/packages.\r\n")


def _replace_with(target, write):
    """Has write(path) fill a temporary file beside target, then puts it in
    target's place in one step. Each caller has a temporary file of its own:
    services started together on one data folder seed it at the same time."""
    fd, tmp = tempfile.mkstemp(prefix=".", suffix=".tmp", dir=os.path.dirname(target))
    os.close(fd)
    try:
        write(tmp)
        os.replace(tmp, target)
    except BaseException:
        os.remove(tmp)
        raise
