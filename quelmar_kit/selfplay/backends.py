"""Where games are played: in this process, on a pool of processes, or on
a Ray cluster. Each backend takes jobs lazily, keeps a bounded number in
flight, and hands the games back in job order, so memory stays flat and
play starts at once however many games the run has.

A backend runs one task on every job: `play_job` for self-play, another
module-level function (so that it pickles) for a match."""

from __future__ import annotations

import contextlib
import logging
import multiprocessing
import os
import signal
import socket
import sys
import tempfile
import threading
import time
from concurrent.futures import ProcessPoolExecutor, wait
from typing import Any, Callable, Generic, Iterator, Protocol, TypeVar

from ..cli import UserError

# Games in flight per worker: enough to keep every worker busy while the
# oldest game is waited for, few enough that memory stays flat.
IN_FLIGHT_PER_WORKER = 4
# How long a Ray address may take to answer.
RAY_CONNECT_SECONDS = 10.0


J = TypeVar("J")
R = TypeVar("R")
J_in = TypeVar("J_in", contravariant=True)
R_out = TypeVar("R_out", covariant=True)


class Backend(Protocol[J_in, R_out]):
    def play(self, jobs: Iterator[J_in]) -> Iterator[R_out]: ...
    def close(self) -> None: ...


def _in_order(submit: Callable[[J], Any], wait_next: Callable[[Any], R],
              jobs: Iterator[J], window: int) -> Iterator[R]:
    """Submits up to `window` jobs ahead and yields results in job order.
    Results come back in order because each is waited for in turn; the
    window keeps the workers busy meanwhile."""
    pending: list[Any] = []
    for job in jobs:
        pending.append(submit(job))
        if len(pending) >= window:
            yield wait_next(pending.pop(0))
    while pending:
        yield wait_next(pending.pop(0))


class InProcess(Generic[J, R]):
    def __init__(self, task: Callable[[J], R]):
        self.task = task

    def play(self, jobs: Iterator[J]) -> Iterator[R]:
        return map(self.task, jobs)

    def close(self) -> None:
        pass


class ProcessPool(Generic[J, R]):
    """Worker processes on this machine. A worker that dies (killed by the
    system for memory, say) fails the run with BrokenProcessPool rather
    than leaving a game waited for forever."""

    def __init__(self, workers: int, task: Callable[[J], R]):
        self.workers, self.task = workers, task
        self.executor = ProcessPoolExecutor(workers, multiprocessing.get_context("spawn"))
        # Ctrl-C reaches the whole process group; the parent alone decides
        # what it means, and ends the workers itself. A process started
        # while SIGINT is ignored keeps ignoring it, so every worker is
        # started here, at once, inside that window: none of them can
        # ever print a KeyboardInterrupt traceback, even while starting up.
        previous = signal.signal(signal.SIGINT, signal.SIG_IGN)
        try:
            started = [self.executor.submit(int) for _ in range(workers)]
        finally:
            signal.signal(signal.SIGINT, previous)
        wait(started)

    def play(self, jobs: Iterator[J]) -> Iterator[R]:
        return _in_order(lambda job: self.executor.submit(self.task, job),
                         lambda pending: pending.result(), jobs,
                         IN_FLIGHT_PER_WORKER * self.workers)

    def close(self) -> None:
        # Games still in flight are not waited for (a resumed run plays them
        # again): the workers are ended, as the executor cannot do itself.
        processes = list(getattr(self.executor, "_processes", {}).values())
        self.executor.shutdown(wait=False, cancel_futures=True)
        for process in processes:
            process.terminate()
        for process in processes:
            process.join()


def _probe(address: str, seconds: float) -> None:
    """Fails within `seconds` unless something listens at `address`
    (host:port)."""
    host, _, port = address.rpartition(":")
    if not host or not port.isdigit():
        raise UserError(f"a Ray address is 'auto', 'local' or host:port, not {address!r}")
    try:
        with socket.create_connection((host.strip("[]"), int(port)), seconds):
            pass
    except OSError as e:
        raise UserError(f"no Ray cluster answers at {address}: {e.strerror or e}") from None


@contextlib.contextmanager
def _stderr_kept_aside() -> Iterator[None]:
    """Ray's core prints its connection retries straight to file descriptor
    2; while joining, they go to a scratch file, and the user gets one line."""
    sys.stderr.flush()
    saved = os.dup(2)
    with tempfile.TemporaryFile() as scratch:
        os.dup2(scratch.fileno(), 2)
        try:
            yield
        finally:
            os.dup2(saved, 2)
            os.close(saved)


def _join(ray: Any, address: str) -> None:
    """Joins the cluster at `address`, or fails within RAY_CONNECT_SECONDS:
    Ray itself retries for minutes against an address that accepts
    connections but does not answer as a cluster does."""
    deadline = time.monotonic() + RAY_CONNECT_SECONDS
    if address != "auto":
        _probe(address, RAY_CONNECT_SECONDS)
    outcome: dict[str, BaseException | None] = {}

    def join() -> None:
        try:
            ray.init(address=address, log_to_driver=False, logging_level=logging.ERROR)
            outcome["error"] = None
        except BaseException as e:  # handed to the waiting thread
            outcome["error"] = e

    with _stderr_kept_aside():
        joiner = threading.Thread(target=join, name="ray-join", daemon=True)
        joiner.start()
        joiner.join(max(0.0, deadline - time.monotonic()))
    if "error" not in outcome:
        # The joining thread cannot be stopped and Ray's exit handlers would
        # wait for it: the process ends as soon as the error is out.
        raise UserError(f"no Ray cluster answers at {address} within "
                        f"{RAY_CONNECT_SECONDS:g} s", hard_exit=True)
    error = outcome["error"]
    if error is not None:
        first = str(error).strip().splitlines()[0] if str(error).strip() else type(error).__name__
        raise UserError(f"cannot join the Ray cluster at {address}: {first}")


class RayCluster(Generic[J, R]):
    """The workers of a Ray cluster: `auto` joins the one this machine
    belongs to, `local` starts one of `workers` workers here, anything else
    is the address of a cluster's head."""

    def __init__(self, address: str, workers: int, task: Callable[[J], R]):
        try:
            import ray
        except ImportError:
            raise UserError("--ray needs Ray: pip install 'quelmar[ray]'") from None
        self.ray = ray
        if address == "local":
            ray.init(num_cpus=workers, include_dashboard=False, log_to_driver=False,
                     logging_level=logging.ERROR)
        else:
            _join(ray, address)
        self.workers = max(1, int(ray.cluster_resources().get("CPU", workers)))  # type: ignore[no-untyped-call]
        self.task = ray.remote(task)

    def play(self, jobs: Iterator[J]) -> Iterator[R]:
        return _in_order(lambda job: self.task.remote(job), self.ray.get, jobs,
                         IN_FLIGHT_PER_WORKER * self.workers)

    def close(self) -> None:
        self.ray.shutdown()


def open_backend(workers: int, ray_address: str | None,
                 task: Callable[[J], R]) -> Backend[J, R]:
    """Where `task` runs on each job: here for one worker, else on a pool
    of `workers` processes, or on the Ray cluster at `ray_address`."""
    if ray_address is not None:
        return RayCluster(ray_address, workers, task)
    if workers == 1:
        return InProcess(task)
    return ProcessPool(workers, task)
