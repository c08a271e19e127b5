"""Requests from several threads at once, against a bridge the test plays: each answer reaches its
own request, and a request written while a read waits is answered at once."""

import json
import socket
import threading

import can
import pytest
from tarnix_can import exchange
from tarnix_can.transport import _SocketTransport


class FakeBridge:
    """Answers in order, with the method's name as data. A ReadMessages waits until the next line
    arrives, as the bridge ends a waiting read; "Hang" is never answered; "Bogus" cannot be
    decoded. stop() ends the pipe, as stopping the bridge process does."""

    def __init__(self) -> None:
        self._client, self._end = socket.socketpair()
        self.reading = threading.Event()
        self.exchange = exchange.Exchange(
            _SocketTransport(self._client),
            lambda method, overdue: f"lost at {method} ({overdue})",
            self.stop,
        )
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def stop(self) -> None:
        self._end.shutdown(socket.SHUT_RDWR)

    def close(self) -> None:
        self.stop()
        self.exchange.close()
        self._thread.join()
        self._end.close()
        self._client.close()

    def _serve(self) -> None:
        waiting_read = None
        for line in self._end.makefile("rb"):
            request = json.loads(line)
            if waiting_read is not None:
                self._answer(waiting_read, [])
                waiting_read = None
            if request["method"] == "ReadMessages":
                waiting_read = request["id"]
                self.reading.set()
            elif request["method"] == "Bogus":
                self._write({"id": 0, "status": "error", "code": -1, "message": "Parse error"})
            elif request["method"] != "Hang":
                self._answer(request["id"], request["method"])

    def _answer(self, request_id: int, data) -> None:
        self._write({"id": request_id, "status": "ok", "data": data})

    def _write(self, answer: dict) -> None:
        try:
            self._end.sendall(json.dumps(answer).encode() + b"\n")
        except OSError:
            pass  # stopped


@pytest.fixture
def bridge():
    fake = FakeBridge()
    yield fake
    fake.close()


def test_a_request_made_while_a_read_waits_is_answered_at_once(bridge):
    seen = []
    read = {}

    def receive() -> None:
        read["data"] = bridge.exchange.call("ReadMessages", {}, 60, on_answer=seen.append)

    reader = threading.Thread(target=receive)
    reader.start()
    assert bridge.reading.wait(5)
    assert bridge.exchange.call("SendMessage", on_answer=seen.append) == "SendMessage"
    reader.join(5)
    assert read == {"data": []}
    assert seen == [[], "SendMessage"]  # in the order the bridge answered
    with pytest.raises(can.CanOperationError, match="^Parse error$"):
        bridge.exchange.call("Bogus")
    assert bridge.exchange.call("ReadVersion") == "ReadVersion"


def test_a_lost_bridge_fails_every_request(bridge):
    failures = []

    def receive() -> None:
        with pytest.raises(can.CanOperationError) as lost:
            bridge.exchange.call("ReadMessages", {}, 60)
        failures.append(str(lost.value))

    reader = threading.Thread(target=receive)
    reader.start()
    assert bridge.reading.wait(5)
    bridge.stop()
    reader.join(5)
    assert failures == ["lost at ReadMessages (None)"]
    with pytest.raises(can.CanOperationError, match="^lost at ReadMessages"):
        bridge.exchange.call("SendMessage")


def test_a_hung_bridge_is_stopped(monkeypatch):
    monkeypatch.setattr(exchange, "ANSWER_GRACE_S", 0.2)
    hung = FakeBridge()
    with pytest.raises(can.CanOperationError, match=r"^lost at Hang \(0.2\)$"):
        hung.exchange.call("Hang")
    hung.close()
