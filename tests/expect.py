"""The one way the tests expect an exception: exactly this class, exactly
this text."""

import pytest


def raises(exc, text, fn, *args, **kwargs):
    with pytest.raises(exc) as info:
        fn(*args, **kwargs)
    assert type(info.value) is exc
    assert str(info.value) == text
    return info.value
