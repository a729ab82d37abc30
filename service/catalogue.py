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
"""

import json
import os
import shutil
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

    def installation(self, product, channel, base_url):
        """The installation details, or None for an unknown product or channel."""
        info, ch = self._entry(product, channel)
        if ch is None:
            return None

        def pick(key):
            return ch.get(key, info.get(key))

        download_url = pick("download_url")
        if not download_url:
            package = pick("package")
            if not package:
                return None
            download_url = base_url + "/packages/" + urllib.parse.quote(package)
        details = {"download_url": download_url, "launch_cmd": pick("launch_cmd") or ""}
        for key in ("tutorial_url", "help_url"):
            value = pick(key)
            if isinstance(value, str):
                details[key] = value
        return details


def seed_data_folder(data_dir):
    """Gives a new data folder the default catalogue and its demo package."""
    os.makedirs(os.path.join(data_dir, "packages"), exist_ok=True)
    catalogue = os.path.join(data_dir, "catalogue.json")
    if not os.path.exists(catalogue):
        shutil.copyfile(DEFAULT_CATALOGUE, catalogue)
    demo = os.path.join(data_dir, "packages", "fernwick-1.0.zip")
    if not os.path.exists(demo):
        tmp = demo + ".tmp"
        with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("Fernwick/README.txt",
                       "Fernwick demo package served by the reference operator service.\r\n")
            z.writestr("Fernwick/fernwick.cmd", "@echo Fernwick is installed.\r\n@pause\r\n")
        os.replace(tmp, demo)
